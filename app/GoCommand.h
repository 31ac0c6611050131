#pragma once

#include <QString>
#include <filesystem>

namespace opc {

class TWebBrowser;

// What the Go command reads from the window and where it puts the answer.
struct TGoInput {
  QString operation;
  QString editorText;
  QString url;
  std::filesystem::path folder; // the executable folder, with its trailing "/"
  QString viewerFolder;         // the same folder as the viewer is given it
};

// One round trip: the envelope composed from the editor text goes to the URL with the operation's
// SOAPAction, the reply is written to "Response.xml" in the folder and shown in the viewer. The
// busy pointer shows from the post until the end, on every path.
void RunGoCommand(const TGoInput& input, TWebBrowser& viewer);

} // namespace opc
