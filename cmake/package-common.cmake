# CPack variables shared by every package of the program (Windows zip and installer, Debian package).
set(CPACK_PACKAGE_NAME "hmx700")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "VELTA Sensor-Works")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop client for the HMX-700 dew-point hygrometer")
# One string (not a list), in lines that fit 80 columns as Debian's control file wants them.
set(CPACK_PACKAGE_DESCRIPTION "Finds the HMX-700 on a serial port, shows relative humidity, dew point and
ambient temperature about twice a second, logs every reading to jrt1.txt and
draws them on a time-of-day chart. Includes hmx700-sim, a simulated instrument,
hmx700-calc, a humidity calculator (frost point, ppmV, g/m3, pressure dew
point and more) for scripts, and hmx700-report, which makes the run report of a
log as a PDF without a window.")
set(CPACK_PACKAGE_CONTACT "hmx700 developers")
set(CPACK_PACKAGE_CHECKSUM SHA256)
