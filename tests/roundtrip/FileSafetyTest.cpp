// Reading templates and writing the response file when the files are not what they should be:
// links, pipes, devices, huge files, names that are no UTF-8, and a French system.
#include "base/Error.h"
#include "base/SystemError.h"
#include "roundtrip/ResponseFile.h"
#include "roundtrip/TemplateFile.h"

#include <clocale>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace opc {
namespace {

namespace fs = std::filesystem;

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out += c < 0x80 ? static_cast<char>(c) : '?';
  }
  return out;
}

// The message an Error carries, or "(no error)".
template <class F> std::u16string MessageOf(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.message();
  }
  return u"(no error)";
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class FileSafety : public ::testing::Test {
protected:
  void SetUp() override {
    char name[] = "/tmp/opcxmlda-files-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir = name;
  }
  void TearDown() override { fs::remove_all(dir); }
  std::u16string Quoted(const fs::path& path) {
    const std::string& s = path.native();
    return u"\"" + std::u16string(s.begin(), s.end()) + u"\"";
  }
  fs::path dir;
};

const std::uint8_t kBody[] = {'<', 'r', '/', '>'};

TEST_F(FileSafety, ALinkInPlaceOfTheResponseFileIsRefusedAndItsTargetNeverWritten) {
  const fs::path response = dir / "Response.xml";
  const fs::path target = dir / "other-file";
  WriteAll(target, "precious");
  fs::create_symlink(target, response);
  const std::u16string expected =
      u"Cannot create file " + Quoted(response) +
      u". It is a symbolic link; the file it points to is never written";
  EXPECT_EQ(Narrow(MessageOf([&] { WriteResponseFile(response, kBody); })), Narrow(expected));
  EXPECT_EQ(ReadAll(target), "precious");
  EXPECT_TRUE(fs::is_symlink(response));

  // A dangling link creates nothing either.
  const fs::path missing = dir / "not-there";
  fs::remove(response);
  fs::create_symlink(missing, response);
  EXPECT_EQ(Narrow(MessageOf([&] { WriteResponseFile(response, kBody); })), Narrow(expected));
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(FileSafety, APipeOrDeviceIsNeverWaitedOnOrWritten) {
  const fs::path response = dir / "Response.xml";
  ASSERT_EQ(::mkfifo(response.c_str(), 0600), 0);
  EXPECT_EQ(Narrow(MessageOf([&] { WriteResponseFile(response, kBody); })),
            Narrow(u"Cannot create file " + Quoted(response) + u". It is not a regular file"));
  // With a reader present it still refuses, before writing a byte.
  const int reader = ::open(response.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(Narrow(MessageOf([&] { WriteResponseFile(response, kBody); })),
            Narrow(u"Cannot create file " + Quoted(response) + u". It is not a regular file"));
  char byte;
  EXPECT_EQ(::read(reader, &byte, 1), 0);
  ::close(reader);
}

TEST_F(FileSafety, TemplatesThatAreNotRegularFilesFailAtOnce) {
  struct Case {
    const char* name;
    void (*make)(const fs::path&);
    const char16_t* reason;
  };
  const Case cases[] = {
      {"pipe", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
       u"It is not a regular file"},
      {"endless device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
       u"It is not a regular file"},
      {"folder", [](const fs::path& p) { fs::create_directory(p); }, u"Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir / (std::string(c.name) + ".x");
    c.make(path);
    EXPECT_EQ(Narrow(MessageOf([&] { LoadTemplateText(path); })),
              Narrow(u"Cannot open file " + Quoted(path) + u". " + c.reason));
  }
}

TEST_F(FileSafety, ATemplateBeyondTheEditorsCapacityIsRefusedUnread) {
  const fs::path path = dir / "Huge.x";
  WriteAll(path, "");
  fs::resize_file(path, kTemplateCapacity + 1); // sparse: nothing is written
  EXPECT_EQ(Narrow(MessageOf([&] { LoadTemplateText(path); })), "Text exceeds memo capacity");
  fs::resize_file(path, 3);
  EXPECT_EQ(LoadTemplateText(path), std::u16string(3, u'\0'));
}

TEST_F(FileSafety, NamesThatAreNoUtf8AreKeptAsBytes) {
  const fs::path folder = dir / "caf\xE9-\xFF";
  fs::create_directory(folder);
  WriteAll(folder / "GetStatus.x", "<GetStatus/>");
  EXPECT_EQ(LoadTemplateText(folder / "GetStatus.x"), u"<GetStatus/>");
  WriteResponseFile(folder / "Response.xml", kBody);
  EXPECT_EQ(ReadAll(folder / "Response.xml"), "<r/>\r\n");
}

// System texts come in the locale's encoding. A French locale is built for the test where the
// system has the tools and the translations; otherwise the test says why it does not run.
TEST_F(FileSafety, SystemTextsAreDecodedInTheLocalesEncoding) {
  const fs::path locales = dir / "locales";
  fs::create_directory(locales);
  const std::string build =
      "localedef -i fr_FR -f UTF-8 '" + (locales / "fr_FR.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(build.c_str()) != 0) {
    GTEST_SKIP() << "localedef cannot build fr_FR.UTF-8 here (package locales)";
  }
  const char* before = std::getenv("LOCPATH");
  const std::string saved = before ? before : "";
  ::setenv("LOCPATH", locales.c_str(), 1);
  const bool french = std::setlocale(LC_ALL, "fr_FR.UTF-8") != nullptr;
  const std::u16string denied = SystemErrorText(EACCES);
  const std::u16string full = SystemErrorText(ENOSPC);
  std::setlocale(LC_ALL, "C");
  before ? ::setenv("LOCPATH", saved.c_str(), 1) : ::unsetenv("LOCPATH");
  ASSERT_TRUE(french);
  if (denied == u"Permission denied") {
    GTEST_SKIP() << "no French system messages installed (package libc-l10n)";
  }
  EXPECT_EQ(denied, u"Permission non accord\u00e9e");
  EXPECT_EQ(full, u"Aucun espace disponible sur le p\u00e9riph\u00e9rique");
}

} // namespace
} // namespace opc
