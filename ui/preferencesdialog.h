// Preferences: the "Publishing" section (broker, topics, TLS, account), kept with
// QSettings; the password goes to the system's key store.
#pragma once

#include "publish/publishsettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace hmx {

class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PreferencesDialog(QWidget* parent = nullptr);

    void setSettings(const PublishSettings& settings);
    PublishSettings settings() const;
    // What the user typed as a new password; empty: keep the stored one.
    QString newPassword() const;

    // Why the settings cannot be used, in the interface language; empty if they can.
    static QString Problem(const PublishSettings& settings);

    void accept() override;

private:
    // The red line under the form says what is wrong while it is; OK waits for it to go.
    void showProblem();

    QCheckBox* m_enabled;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QLineEdit* m_clientId;
    QLineEdit* m_baseTopic;
    QComboBox* m_qos;
    QCheckBox* m_tls;
    QLineEdit* m_caFile;
    QLineEdit* m_certFile;
    QLineEdit* m_keyFile;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_homeAssistant;
    QLineEdit* m_discoveryPrefix;
    QLabel* m_problem;
    QPushButton* m_ok = nullptr;
};

} // namespace hmx
