#include "app/ItemsActions.h"

#include "app/ErrorDisplay.h"
#include "app/TForm1.h"
#include "app/TMemo.h"
#include "roundtrip/TemplateFile.h"
#include "viewer/TItemsView.h"
#include "viewer/TWebBrowser.h"

#include <QComboBox>

namespace opc {

TItemsActions::TItemsActions(TForm1& form) : QObject(&form), FForm(form) {
  connect(form.WebBrowser1->ItemsView(), &TItemsView::NextRequest, this,
          [this](const TNextRequest& next) { Guarded([&] { Apply(next); }); });
}

void TItemsActions::Apply(const TNextRequest& next) {
  const int index = FForm.cXMLCommand->findText(next.operation);
  if (index < 0 || !next.build) {
    return;
  }
  // The template's file name as choosing the operation makes it, after the folder's own bytes.
  const std::string name = QString(next.operation + u".x").toStdString();
  const std::u16string templateText = LoadTemplateText(FForm.Folder().native() + name);
  const QString text =
      QString::fromStdU16String(next.build(templateText, FAnswered.toStdU16String()));
  // Chosen by the program, so the list's change handler does not load the bare template over it.
  FForm.cXMLCommand->setCurrentIndex(index);
  if (text != FForm.Memo1->Text()) {
    FForm.Memo1->SetText(text);
  }
}

} // namespace opc
