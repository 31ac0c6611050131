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

std::optional<TCredentials> AskForCredentials(int status) {
  QDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle(status == 407 ? u"Proxy authentication"_s : u"Authentication"_s);
  auto* user = new QLineEdit(&dialog);
  auto* password = new QLineEdit(&dialog);
  password->setEchoMode(QLineEdit::Password);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  auto* form = new QFormLayout(&dialog);
  form->addRow(new QLabel(status == 407 ? u"The proxy asks who you are."_s
                                        : u"The server asks who you are."_s));
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

void InstallCredentialsHook(TCredentialsPrompt prompt) {
  if (!prompt) {
    prompt = AskForCredentials;
  }
  inet::SetErrorDialogHook([prompt](inet::HINTERNET request, inet::DWORD status) -> inet::DWORD {
    const auto given = prompt(static_cast<int>(status));
    if (!given) {
      return inet::ERROR_CANCELLED;
    }
    const std::u16string user = given->userName.toStdU16String();
    const std::u16string password = given->password.toStdU16String();
    inet::InternetSetOptionW(request, inet::INTERNET_OPTION_USERNAME, user.c_str(),
                             static_cast<inet::DWORD>(user.size()));
    inet::InternetSetOptionW(request, inet::INTERNET_OPTION_PASSWORD, password.c_str(),
                             static_cast<inet::DWORD>(password.size()));
    return inet::ERROR_INTERNET_FORCE_RETRY;
  });
}

} // namespace opc
