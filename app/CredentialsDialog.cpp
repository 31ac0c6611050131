#include "app/CredentialsDialog.h"

#include "transport/inet/InetHooks.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace opc {

using namespace Qt::StringLiterals;

namespace {

TAuthQuestion QuestionOf(const inet::TAuthChallenge& challenge) {
  TAuthQuestion question;
  question.proxy = challenge.proxy;
  const QString host = QString::fromStdString(challenge.host);
  question.party =
      (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(challenge.port);
  for (const std::string& scheme : challenge.schemes) {
    question.schemes << QString::fromStdString(scheme);
  }
  question.realm = QString::fromStdString(challenge.realm);
  if (challenge.refused) {
    question.refusal = QString::number(challenge.status) + u' ' +
                       QString::fromLatin1(challenge.reason.data(),
                                           static_cast<qsizetype>(challenge.reason.size()));
  }
  return question;
}

} // namespace

QString AuthQuestionText(const TAuthQuestion& question) {
  QString text = (question.proxy ? u"The proxy "_s : u"The server "_s) + question.party +
                 u" asks for "_s +
                 (question.schemes.isEmpty() ? u"its"_s : question.schemes.join(u" or "_s)) +
                 u" credentials"_s;
  if (!question.realm.isEmpty()) {
    text += u", realm \""_s + question.realm + u'"';
  }
  return text + u'.';
}

QString AuthRefusalText(const TAuthQuestion& question) {
  if (question.refusal.isEmpty()) {
    return {};
  }
  return (question.proxy ? u"The proxy"_s : u"The server"_s) +
         u" refused the user name and password: "_s + question.refusal;
}

std::optional<TCredentials> AskForCredentials(const TAuthQuestion& question) {
  QDialog dialog(QApplication::activeWindow());
  dialog.setObjectName(u"credentialsDialog"_s);
  dialog.setWindowTitle(question.proxy ? u"Proxy authentication"_s : u"Authentication"_s);
  auto* user = new QLineEdit(&dialog);
  user->setObjectName(u"userName"_s);
  auto* password = new QLineEdit(&dialog);
  password->setObjectName(u"password"_s);
  password->setEchoMode(QLineEdit::Password);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  auto* form = new QFormLayout(&dialog);
  if (const QString refusal = AuthRefusalText(question); !refusal.isEmpty()) {
    auto* refused = new QLabel(refusal);
    refused->setObjectName(u"refusal"_s);
    refused->setWordWrap(true);
    form->addRow(refused);
  }
  auto* asks = new QLabel(AuthQuestionText(question));
  asks->setObjectName(u"question"_s);
  asks->setWordWrap(true);
  form->addRow(asks);
  form->addRow(u"User name:"_s, user);
  form->addRow(u"Password:"_s, password);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) {
    return std::nullopt;
  }
  return TCredentials{user->text(), password->text()};
}

std::optional<TCredentials> AskForCredentials(int status) {
  TAuthQuestion question;
  question.proxy = status == 407;
  return AskForCredentials(question);
}

void InstallCredentialsHook(TAuthPrompt prompt) {
  if (!prompt) {
    prompt = [](const TAuthQuestion& question) { return AskForCredentials(question); };
  }
  inet::SetErrorDialogHook([prompt](inet::HINTERNET request, inet::DWORD status) -> inet::DWORD {
    inet::TAuthChallenge challenge;
    if (!inet::QueryAuthChallenge(request, challenge)) {
      challenge.proxy = status == 407;
      challenge.status = static_cast<int>(status);
    }
    const auto given = prompt(QuestionOf(challenge));
    if (!given) {
      return inet::ERROR_CANCELLED;
    }
    // The answer goes to the party that asked, and to no other.
    const std::u16string user = given->userName.toStdU16String();
    const std::u16string password = given->password.toStdU16String();
    inet::InternetSetOptionW(request,
                             challenge.proxy ? inet::INTERNET_OPTION_PROXY_USERNAME
                                             : inet::INTERNET_OPTION_USERNAME,
                             user.c_str(), static_cast<inet::DWORD>(user.size()));
    inet::InternetSetOptionW(request,
                             challenge.proxy ? inet::INTERNET_OPTION_PROXY_PASSWORD
                                             : inet::INTERNET_OPTION_PASSWORD,
                             password.c_str(), static_cast<inet::DWORD>(password.size()));
    return inet::ERROR_INTERNET_FORCE_RETRY;
  });
}

void InstallCredentialsHook(TCredentialsPrompt prompt) {
  if (!prompt) {
    InstallCredentialsHook(TAuthPrompt());
    return;
  }
  InstallCredentialsHook(TAuthPrompt(
      [prompt](const TAuthQuestion& question) { return prompt(question.proxy ? 407 : 401); }));
}

} // namespace opc
