// The program's own extraction as a command, for the differential check against other ZIP
// readers: zip_extract_tool ARCHIVE FOLDER runs ExtractArchive, the installation's extraction,
// and exits 0 when every entry was installed, 1 after its failure line.
#include <string>

#include "extract_only_platform.h"
#include "runtime/text.h"
#include "update/extract.h"
#include "update/run_context.h"

namespace {

// The core takes Windows-form paths; natively "\" becomes "/" again at the system calls.
std::u16string WindowsForm(const char* native) {
  std::u16string path = zelkupd::Utf8ToUtf16(native);
  for (char16_t& c : path) {
    if (c == u'/') {
      c = u'\\';
    }
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    return 2;
  }
  zelkupd::bench::ExtractOnlyPlatform platform;
  zelkupd::TRunContext context(platform);
  std::u16string dest = WindowsForm(argv[2]);
  if (dest.back() != u'\\') {
    dest += u'\\';
  }
  const bool extracted = zelkupd::ExtractArchive(context, WindowsForm(argv[1]), dest);
  context.Console.Close();
  return extracted ? 0 : 1;
}
