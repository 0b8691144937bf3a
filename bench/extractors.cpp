#include "extractors.h"

#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <utility>

#include "child_process.h"

namespace zelkupd::bench {

std::vector<std::string> TExtractor::CommandFor(const std::string& archive,
                                                const std::string& dest) const {
  std::vector<std::string> argv;
  for (std::string arg : Command) {
    for (const auto& [key, value] :
         {std::pair<std::string, const std::string*>{"{archive}", &archive},
          std::pair<std::string, const std::string*>{"{dest}", &dest}}) {
      for (std::size_t at; (at = arg.find(key)) != std::string::npos;) {
        arg.replace(at, key.size(), *value);
      }
    }
    argv.push_back(arg);
  }
  return argv;
}

std::vector<TExtractor> FindExtractors(const std::string& self, std::vector<std::string>& missing) {
  const std::vector<TExtractor> all = {
      {.Name = "zelkupd", .Command = {self, "extract", "{archive}", "{dest}"}, .IsOurs = true},
      {.Name = "unzip",
       .Command = {"unzip", "-qq", "-o", "{archive}", "-d", "{dest}"},
       .VersionCommand = "unzip -v"},
      {.Name = "bsdtar",
       .Command = {"bsdtar", "-x", "-f", "{archive}", "-C", "{dest}"},
       .VersionCommand = "bsdtar --version"},
      // The peer at the install's durability, timed as one run: syncfs of the file system that
      // holds the output (`sync -f`) forces bsdtar's files and folders to the disk.
      {.Name = kDurablePeer,
       .Command = {"/bin/sh", "-c", "bsdtar -x -f \"$1\" -C \"$2\" && exec sync -f \"$2\"", "sh",
                   "{archive}", "{dest}"},
       .VersionCommand = "sync --version",
       .AlsoRuns = "bsdtar",
       .Traced = false},
      {.Name = "7z",
       .Command = {"7z", "x", "-y", "-bd", "-o{dest}", "{archive}"},
       .VersionCommand = "7z"},
      // Debian's own Python, isolated from the user's site packages and environment.
      {.Name = "python3",
       .Command = {"/usr/bin/python3", "-I", "-c",
                   "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])",
                   "{archive}", "{dest}"},
       .VersionCommand = "/usr/bin/python3 --version"}};
  std::vector<TExtractor> found;
  for (const TExtractor& extractor : all) {
    const std::string& program = extractor.Command.front();
    const bool present = (program.front() == '/' ? access(program.c_str(), X_OK) == 0
                                                 : !FindInPath(program).empty()) &&
                         (extractor.AlsoRuns.empty() || !FindInPath(extractor.AlsoRuns).empty());
    if (present) {
      found.push_back(extractor);
    } else {
      missing.push_back(extractor.Name);
    }
  }
  return found;
}

std::string ToolVersion(const TExtractor& extractor) {
  if (extractor.IsOurs) {
    return std::string("zlib ") + zlibVersion();
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(
      popen((extractor.VersionCommand + " 2>&1").c_str(), "r"), &pclose);
  char line[256];
  while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
      text.pop_back();
    }
    if (!text.empty()) {
      return text;
    }
  }
  return "version unknown";
}

}  // namespace zelkupd::bench
