#include "ui/preferencesdialog.h"

#include "ui/language.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

namespace hmx {

namespace {

QString TopicFaultText(TopicFault fault)
{
    switch (fault) {
    case TopicFault::Wildcard:
        return ByLanguage("nie może zawierać znaków '+' ani '#'.", "must not contain '+' or '#'.");
    case TopicFault::Space:
        return ByLanguage("nie może zawierać spacji.", "must not contain spaces.");
    case TopicFault::Control:
        return ByLanguage("nie może zawierać znaków sterujących, np. końca wiersza.",
                          "must not contain control characters such as a line break.");
    case TopicFault::Reserved:
        return ByLanguage("nie może zaczynać się znakiem '$' (tematy brokera, np. $SYS).",
                          "must not begin with '$' (the broker's own topics, such as $SYS).");
    case TopicFault::Slash:
        return ByLanguage("nie może zaczynać się ani kończyć znakiem '/'.", "must not begin or end with '/'.");
    case TopicFault::NotUtf8:
        return ByLanguage("zawiera znaki spoza UTF-8.", "holds characters that are not UTF-8.");
    case TopicFault::TooLong:
        return ByLanguage("jest dłuższy, niż pozwala MQTT.", "is longer than MQTT allows.");
    case TopicFault::None:
        break;
    }
    return {};
}

} // namespace

PreferencesDialog::PreferencesDialog(QWidget* parent)
    : QDialog(parent)
    , m_enabled(new QCheckBox(ByLanguage("Publikuj odczyty na brokerze MQTT", "Publish readings to an MQTT broker")))
    , m_host(new QLineEdit)
    , m_port(new QSpinBox)
    , m_clientId(new QLineEdit)
    , m_baseTopic(new QLineEdit)
    , m_qos(new QComboBox)
    , m_tls(new QCheckBox(ByLanguage("Szyfrowanie TLS", "TLS encryption")))
    , m_caFile(new QLineEdit)
    , m_certFile(new QLineEdit)
    , m_keyFile(new QLineEdit)
    , m_user(new QLineEdit)
    , m_password(new QLineEdit)
    , m_homeAssistant(new QCheckBox(ByLanguage("Wykrywanie w Home Assistant", "Home Assistant discovery")))
    , m_discoveryPrefix(new QLineEdit)
    , m_problem(new QLabel)
{
    setObjectName(QStringLiteral("preferences"));
    // Named for the settings keys they edit.
    for (auto [widget, name] : {std::pair<QWidget*, const char*>{m_enabled, "enabled"}, {m_host, "host"}, {m_port, "port"},
                                {m_clientId, "clientId"}, {m_baseTopic, "baseTopic"}, {m_qos, "qos"}, {m_tls, "tls"},
                                {m_caFile, "caFile"}, {m_certFile, "certFile"}, {m_keyFile, "keyFile"}, {m_user, "user"},
                                {m_password, "password"}, {m_homeAssistant, "homeAssistant"},
                                {m_discoveryPrefix, "discoveryPrefix"}, {m_problem, "problem"}})
        widget->setObjectName(QLatin1String(name));
    setWindowTitle(ByLanguage("Preferencje", "Preferences"));
    m_port->setRange(1, 65535);
    m_qos->addItems({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")});
    m_clientId->setPlaceholderText(QStringLiteral("hmx700-<nr>"));
    m_baseTopic->setPlaceholderText(QStringLiteral("hmx700/<nr>"));
    // A topic to publish under: levels of anything but the wildcards, no empty end.
    m_baseTopic->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^+# ]*")), m_baseTopic));
    m_discoveryPrefix->setPlaceholderText(QStringLiteral("homeassistant"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #c00000"));
    m_caFile->setPlaceholderText(ByLanguage("certyfikaty systemu", "the system's certificates"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(ByLanguage("bez zmian", "unchanged"));

    auto* group = new QGroupBox(ByLanguage("Publikowanie", "Publishing"));
    group->setObjectName(QStringLiteral("publishing"));
    auto* form = new QFormLayout(group);
    form->addRow(m_enabled);
    form->addRow(ByLanguage("Broker:", "Broker:"), m_host);
    form->addRow(ByLanguage("Port:", "Port:"), m_port);
    form->addRow(ByLanguage("Identyfikator klienta:", "Client id:"), m_clientId);
    form->addRow(ByLanguage("Temat bazowy:", "Base topic:"), m_baseTopic);
    form->addRow(QStringLiteral("QoS:"), m_qos);
    form->addRow(m_tls);
    form->addRow(ByLanguage("Plik CA:", "CA file:"), m_caFile);
    form->addRow(ByLanguage("Certyfikat klienta:", "Client certificate:"), m_certFile);
    form->addRow(ByLanguage("Klucz klienta:", "Client key:"), m_keyFile);
    form->addRow(ByLanguage("Użytkownik:", "User name:"), m_user);
    form->addRow(ByLanguage("Hasło:", "Password:"), m_password);
    form->addRow(m_homeAssistant);
    form->addRow(ByLanguage("Prefiks wykrywania:", "Discovery prefix:"), m_discoveryPrefix);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    for (QLineEdit* edit : {m_host, m_clientId, m_baseTopic, m_caFile, m_certFile, m_keyFile, m_user, m_password,
                            m_discoveryPrefix})
        connect(edit, &QLineEdit::textChanged, this, &PreferencesDialog::showProblem);
    for (QCheckBox* box : {m_enabled, m_tls, m_homeAssistant})
        connect(box, &QCheckBox::toggled, this, &PreferencesDialog::showProblem);
    setSettings({});
}

void PreferencesDialog::setSettings(const PublishSettings& s)
{
    m_enabled->setChecked(s.enabled);
    m_host->setText(s.host);
    m_port->setValue(s.port);
    m_clientId->setText(s.clientId);
    m_baseTopic->setText(s.baseTopic);
    m_qos->setCurrentIndex(s.qos);
    m_tls->setChecked(s.tls);
    m_caFile->setText(s.caFile);
    m_certFile->setText(s.certFile);
    m_keyFile->setText(s.keyFile);
    m_user->setText(s.user);
    m_password->clear();
    m_homeAssistant->setChecked(s.homeAssistant);
    m_discoveryPrefix->setText(s.discoveryPrefix);
    showProblem();
}

PublishSettings PreferencesDialog::settings() const
{
    PublishSettings s;
    s.enabled = m_enabled->isChecked();
    s.host = m_host->text().trimmed();
    s.port = m_port->value();
    s.clientId = m_clientId->text().trimmed();
    s.baseTopic = m_baseTopic->text().trimmed();
    s.qos = m_qos->currentIndex();
    s.tls = m_tls->isChecked();
    s.caFile = m_caFile->text().trimmed();
    s.certFile = m_certFile->text().trimmed();
    s.keyFile = m_keyFile->text().trimmed();
    s.user = m_user->text().trimmed();
    s.homeAssistant = m_homeAssistant->isChecked();
    s.discoveryPrefix = m_discoveryPrefix->text().trimmed();
    return s;
}

QString PreferencesDialog::newPassword() const
{
    return m_password->text();
}

QString PreferencesDialog::Problem(const PublishSettings& s)
{
    if (!s.enabled)
        return {};
    if (s.host.isEmpty())
        return ByLanguage("Podaj adres brokera.", "Enter the broker's address.");
    if (const TopicFault fault = CheckTopic(s.baseTopic); fault != TopicFault::None)
        return ByLanguage("Temat bazowy ", "The base topic ") + TopicFaultText(fault);
    if (const TopicFault fault = CheckTopic(s.discoveryPrefix); fault != TopicFault::None)
        return ByLanguage("Prefiks wykrywania ", "The discovery prefix ") + TopicFaultText(fault);
    if (s.certFile.isEmpty() != s.keyFile.isEmpty())
        return ByLanguage("Certyfikat klienta wymaga klucza, a klucz certyfikatu.",
                          "A client certificate needs its key, and a key its certificate.");
    return {};
}

void PreferencesDialog::showProblem()
{
    PublishSettings s = settings();
    s.password = newPassword();
    const QString problem = Problem(s);
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    if (m_ok)
        m_ok->setEnabled(problem.isEmpty());
}

void PreferencesDialog::accept()
{
    PublishSettings s = settings();
    s.password = newPassword();
    if (!Problem(s).isEmpty()) {
        showProblem();
        return;
    }
    QDialog::accept();
}

} // namespace hmx
