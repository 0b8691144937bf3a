// The part-file bookkeeping of the archive download as one property over many random schedules of
// runs, each against servers that break off, answer well or badly and change their archives
// between runs, some runs killed: after every run the download folder holds, of the run's archive,
// either its server's exact bytes or what it held before, never a mix; nothing of the program's own
// but a part file and record that a later run of the same URL may go on from; no other file
// changed. A failing schedule prints its seed and what happened; PARTFILE_SEED=<seed> runs it
// alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/text.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "update/download_part.h"
#include "update/http.h"
#include "update/http_range.h"
#include "update/http_request.h"

namespace zelkupd {
namespace {

using test::FakePlatform;
using test::TTempDir;
using TFolder = std::map<std::u16string, std::string>;  // file name to bytes

constexpr int kSchedules = 300;

// One version of an archive as its server has it between runs.
struct TVersion {
  std::string Body;
  std::u16string ETag;  // empty: none
  std::u16string LastModified;
  bool HasLength = true;  // a Content-Length is sent
  // What the program sends back and keeps in its record: the ETag, else the Last-Modified date;
  // without a length there is nothing to go on from.
  std::u16string Validator() const {
    return !HasLength ? std::u16string() : !ETag.empty() ? ETag : LastModified;
  }
};

struct TSite {
  std::u16string Url;
  std::u16string Name;             // the archive's file name
  std::vector<TVersion> Versions;  // every version it had, the current one last
  bool TakesIfRange = true;        // else a Range is answered whatever the If-Range says
};

bool IsOwnName(std::u16string_view name) {
  const std::u16string upper = UpperCase(name);
  return upper.ends_with(u".ZIP.ZELKUPD-TMP") || upper.ends_with(u".ZIP.ZELKUPD-RESUME");
}

TFolder ReadFolder(const std::u16string& folder) {
  TFolder files;
  for (const TDirEntry& entry : ListDirectory(folder)) {
    files[entry.Name] = test::ReadFileBytes(folder + entry.Name);
  }
  return files;
}

void RestoreFolder(const std::u16string& folder, const TFolder& files) {
  for (const TDirEntry& entry : ListDirectory(folder)) {
    RemoveFile(folder + entry.Name);
  }
  for (const auto& [name, bytes] : files) {
    test::WriteFileBytes(folder + name, bytes);
  }
}

bool KillHook(TFaultPoint, std::u16string_view);

// A kill before the At-th file operation of a run or the start of its ReadAt-th read from the
// network: what the folder held then is kept, and the run goes on (a kill unwinds nothing) only to
// be thrown away.

struct TKill {
  int At = 0;
  int ReadAt = 0;
  int Operations = 0;
  int Reads = 0;
  std::u16string Folder;
  std::optional<TFolder> Left{};

  void Count(int& counter, int at) {
    if (++counter == at && !Left) {
      SetFaultHook(nullptr);
      Left = ReadFolder(Folder);
      SetFaultHook(&KillHook);
    }
  }
};
TKill* gKill = nullptr;

bool KillHook(TFaultPoint, std::u16string_view) {
  gKill->Count(gKill->Operations, gKill->At);
  return false;
}

class TSchedule {
 public:
  explicit TSchedule(std::uint64_t seed) : FRandom(seed) {
    FSites = {{u"http://a.invalid/zip/zelk32_156.zip", u"zelk32_156.zip", {}},
              {u"http://b.invalid/zip/zelk32_156.zip", u"zelk32_156.zip", {}},
              {u"http://a.invalid/zip/zelk32_157.zip", u"zelk32_157.zip", {}}};
    for (TSite& site : FSites) {
      site.TakesIfRange = Chance(0.5);
      site.Versions.push_back(
          NewVersion(FSites[0].Versions.empty() ? 0 : FSites[0].Versions[0].Body.size(), 0));
    }
    test::WriteFileBytes(FDir / u"zelk32_150.zip", "an archive of another name");
    test::WriteFileBytes(FDir / u"zelk32_156.zip.txt", "a file of the user's");
    if (Chance(0.5)) {
      test::WriteFileBytes(FDir / u"zelk32_156.zip", "an earlier archive");
    }
  }

  // Runs the schedule; empty when every run kept the promises, else what broke.
  std::string Play() {
    const int runs = 2 + Below(8);
    for (int run = 0; run < runs; ++run) {
      const std::string error = PlayRun(run);
      if (!error.empty()) {
        return error + "\n" + FLog;
      }
    }
    return {};
  }

 private:
  bool Chance(double p) { return std::bernoulli_distribution(p)(FRandom); }
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(FRandom); }
  std::uint64_t Between(std::uint64_t low, std::uint64_t high) {
    return std::uniform_int_distribution<std::uint64_t>(low, high)(FRandom);
  }

  std::string RandomBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
      c = static_cast<char>(FRandom());
    }
    return bytes;
  }

  // Sizes around the read blocks' edges, tiny ones and any up to four blocks.
  std::size_t RandomSize(std::size_t previous) {
    switch (Below(7)) {
      case 0:
      case 1:
        return previous;  // only the validator tells the versions apart
      case 2:
        return static_cast<std::size_t>(Below(3));
      case 3:
      case 4:
        return kReadBlockSize * static_cast<std::size_t>(1 + Below(3)) + Below(3) - 1;
      default:
        return static_cast<std::size_t>(Between(1, 4 * kReadBlockSize));
    }
  }

  // The `index`-th version of a site: its ETag is no other version's, but its date may be another
  // site's, as mirrors' dates agree.
  TVersion NewVersion(std::size_t previousSize, std::size_t index) {
    ++FVersions;
    TVersion v;
    v.Body = RandomBytes(RandomSize(previousSize));
    const int validators = Below(4);
    if (validators != 1 && validators != 3) {
      v.ETag = u"\"v" + IntToText(FVersions) + u"\"";
    }
    if (validators != 0 && validators != 3) {
      v.LastModified =
          u"Fri, 11 Dec 2026 10:00:" + IntToText(static_cast<std::int64_t>(10 + index)) + u" GMT";
    }
    v.HasLength = Chance(0.9);
    return v;
  }

  // Where a transfer of `size` bytes breaks off: anywhere, at a read block's edge, or after its
  // last byte.
  std::size_t BreakPoint(std::size_t size) {
    switch (Below(3)) {
      case 0: {
        const std::size_t edge = kReadBlockSize * static_cast<std::size_t>(Below(5)) + Below(3);
        return std::min(size, edge > 0 ? edge - 1 : 0);
      }
      case 1:
        return size;
      default:
        return static_cast<std::size_t>(Between(0, size));
    }
  }

  // The blocks a body arrives in: a read block each, or pieces of any size.
  std::vector<std::string> Blocks(const std::string& bytes) {
    const bool whole = Chance(0.5);
    std::vector<std::string> blocks;
    for (std::size_t at = 0; at < bytes.size();) {
      const auto size =
          static_cast<std::size_t>(whole ? kReadBlockSize : Between(1, kReadBlockSize + 5000));
      blocks.push_back(bytes.substr(at, size));
      at += size;
    }
    return blocks;
  }

  static std::optional<std::uint64_t> RangeFrom(const std::u16string& headers) {
    const std::u16string key = u"Range: bytes=";
    const std::size_t at = headers.find(key);
    if (at == std::u16string::npos) {
      return std::nullopt;
    }
    const std::size_t from = at + key.size();
    return ParseDecimal64(
        std::u16string_view(headers).substr(from, headers.find(u'-', from) - from));
  }

  static std::u16string IfRange(const std::u16string& headers) {
    const std::u16string key = u"If-Range: ";
    const std::size_t at = headers.find(key);
    if (at == std::u16string::npos) {
      return {};
    }
    const std::size_t from = at + key.size();
    return headers.substr(from, headers.find(u"\r\n", from) - from);
  }

  // The server's answer to one request of the run: as a server that keeps to HTTP answers it, or
  // (unless the run is clean) any of the ways a server or a network gets it wrong, short of
  // claiming another body's bytes for the one the request names. Its body may break off.
  FakePlatform::TResponse Answer(const TSite& site, const std::u16string& headers, bool clean) {
    const TVersion& v = site.Versions.back();
    const auto from = RangeFrom(headers);
    const std::u16string ifRange = IfRange(headers);
    const bool same = !ifRange.empty() && (ifRange == v.ETag || ifRange == v.LastModified);
    FBadRequest = FBadRequest || (from && ifRange.empty());
    const int wrong = clean ? 0 : Below(12);
    if (FRequestsLeft == 0 || wrong == 1) {
      Log("cannot be sent");
      return {.OpenFails = true};
    }
    FakePlatform::TResponse r{.Status = 200,
                              .HasContentLength = v.HasLength,
                              .ETag = v.ETag,
                              .LastModified = v.LastModified};
    std::string body = v.Body;
    std::uint64_t first = 0;
    std::uint64_t end = body.size();  // past the last byte sent
    if (wrong == 2) {
      r.Status = 500 + static_cast<std::uint32_t>(Below(4));
    } else if (from && (wrong == 3 || wrong == 6) && !(v.Body.size() == 1 && *from == 0) &&
               !v.Body.empty()) {
      // An honest answer from another byte than the one asked for.
      r.Status = 206;
      first = (*from + 1 + Between(0, std::max<std::size_t>(v.Body.size(), 2) - 2)) % v.Body.size();
    } else if (from && wrong == 4) {
      // Bytes of another body, of a size no version has, as far as the body that the request names
      // goes.
      std::size_t longest = 0;
      end = v.Body.size();
      for (const TVersion& other : site.Versions) {
        longest = std::max(longest, other.Body.size());
        end = other.Validator() == ifRange ? other.Body.size() : end;
      }
      r.Status = 206;
      first = *from;
      body = RandomBytes(std::max<std::size_t>(longest, static_cast<std::size_t>(first)) + 1 +
                         static_cast<std::size_t>(Below(kReadBlockSize)));
      end = end > first ? end : body.size();
    } else if (from && (same || !site.TakesIfRange) && wrong != 5) {
      // The rest asked for; a server that takes no Range (5) sends the whole body instead, one
      // that takes no If-Range the rest of the body it has now, its own validator with it.
      r.Status = *from < v.Body.size() ? 206 : 416;
      first = *from;
    }
    std::string sent = "an error page";
    if (r.Status == 200 || r.Status == 206) {
      sent = body.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(end - first));
    }
    if (r.Status == 206) {
      r.ContentRange = u"bytes " + DecimalText(first) + u"-" + DecimalText(end - 1) + u"/" +
                       DecimalText(body.size());
      // A 206 may come without a length (chunked); its range tells how long it is.
      r.HasContentLength = r.HasContentLength && Chance(0.6);
    }
    r.ContentLength = sent.size();
    const bool resumable = !v.Validator().empty() && (r.Status == 200 || r.Status == 206);
    std::string line = "answer " + std::to_string(r.Status) + " of " + std::to_string(first) + "-" +
                       std::to_string(end) + " of " + std::to_string(body.size()) +
                       (r.HasContentLength ? "" : " without a length");
    // The line that goes down breaks off the answer under way.
    const bool lineGoes = FRequestsLeft > 0 && --FRequestsLeft == 0;
    if (clean ? resumable && sent.size() > 1 && FCleanBreaks < 3 && Chance(0.4)
              : lineGoes || Chance(0.4)) {
      const std::size_t at =
          clean ? static_cast<std::size_t>(Between(1, sent.size() - 1)) : BreakPoint(sent.size());
      sent.resize(at);
      // Without a length or a range an early end is the body's end, to the program as to anyone.
      r.ReadFailsAtEnd = !v.HasLength || Chance(0.5);
      ++FCleanBreaks;
      line += ", breaks after " + std::to_string(at) +
              (r.ReadFailsAtEnd ? " (a read fails)" : " (ends short)");
    }
    Log(line);
    r.Blocks = Blocks(sent);
    return r;
  }

  void Log(const std::string& line) { FLog += "  " + line + "\n"; }

  std::string PlayRun(int run) {
    // Mostly the URL of the run before, which may go on from what that run left.
    if (run == 0 || Chance(0.25)) {
      FSite = static_cast<std::size_t>(Below(static_cast<int>(FSites.size())));
    }
    TSite& site = FSites[FSite];
    if (Chance(0.3)) {
      site.Versions.push_back(NewVersion(site.Versions.back().Body.size(), site.Versions.size()));
    }
    const bool clean = site.TakesIfRange && Chance(0.25);
    const bool dies = !clean && Chance(0.5);
    const int killAt = dies && Chance(0.3) ? 1 + Below(20) : 0;
    TKill kill{
        .At = killAt, .ReadAt = dies && killAt == 0 ? 1 + Below(8) : 0, .Folder = FDir.Path()};
    // The line may go down for good during one of the first requests.
    FRequestsLeft = clean || Chance(0.5) ? -1 : 1 + Below(3);
    FLog += "run " + std::to_string(run) + " of " + Utf16ToUtf8(site.Url) + ", version " +
            std::to_string(site.Versions.size()) + " of " +
            std::to_string(site.Versions.back().Body.size()) + " bytes" + (clean ? ", clean" : "") +
            (kill.At > 0 ? ", killed at file operation " + std::to_string(kill.At) : "") +
            (kill.ReadAt > 0 ? ", killed at read " + std::to_string(kill.ReadAt) : "") +
            (FRequestsLeft >= 0 ? ", line down after " + std::to_string(FRequestsLeft) : "") + "\n";
    FCleanBreaks = 0;
    FBadRequest = false;
    const TFolder before = ReadFolder(FDir.Path());

    FakePlatform fake;
    fake.Answers[site.Url] = [&](const std::u16string& headers) {
      return Answer(site, headers, clean);
    };
    fake.OnRead = [&] { kill.Count(kill.Reads, kill.ReadAt); };
    bool downloaded = false;
    {
      TRunContext ctx(fake);
      OpenInternet(ctx);
      ctx.State.DownloadDir = FDir.Path();
      ctx.State.ArchivePath = FDir / site.Name;
      ctx.State.TargetUrl = site.Url;
      gKill = &kill;
      SetFaultHook(&KillHook);
      DownloadArchive(ctx);
      SetFaultHook(nullptr);
      downloaded = ctx.State.Downloaded;
      CloseInternet(ctx);
    }
    if (fake.OpenInetHandles != 0) {
      return "a request's handle is left open";
    }
    if (FBadRequest) {
      return "a Range request without If-Range";
    }
    const bool killed = kill.Left.has_value();
    if (killed) {
      RestoreFolder(FDir.Path(), *kill.Left);
    }
    return Check(site, before, ReadFolder(FDir.Path()), killed, downloaded, clean);
  }

  std::string Check(const TSite& site, const TFolder& before, const TFolder& after, bool killed,
                    bool downloaded, bool clean) const {
    const std::string& current = site.Versions.back().Body;
    const auto archive = [&](const TFolder& folder) -> std::optional<std::string> {
      const auto it = folder.find(site.Name);
      return it == folder.end() ? std::nullopt : std::optional(it->second);
    };
    const auto was = archive(before);
    const auto now = archive(after);
    if (clean && !downloaded) {
      return "a clean run did not download";
    }
    if (killed ? now != was && now != current : now != (downloaded ? current : was)) {
      return downloaded ? "the archive is not the server's bytes"
                        : "the archive is neither what it was nor the server's bytes";
    }
    TFolder others[2];
    for (int i = 0; i < 2; ++i) {
      for (const auto& [name, bytes] : i == 0 ? before : after) {
        if (!IsOwnName(name) && name != site.Name) {
          others[i][name] = bytes;
        }
      }
    }
    if (others[0] != others[1]) {
      return "a file that is not the program's own changed";
    }
    return killed ? std::string() : CheckPart(site, after, downloaded);
  }

  // What a run that was not killed leaves of its own: nothing after a download, else at most the
  // part file and record of its archive, the part the true beginning of the body the record names.
  std::string CheckPart(const TSite& site, const TFolder& after, bool downloaded) const {
    const std::u16string part = site.Name + u".zelkupd-tmp";
    const std::u16string record = site.Name + u".zelkupd-resume";
    for (const auto& [name, bytes] : after) {
      if (IsOwnName(name) && (downloaded || (name != part && name != record))) {
        return "left " + Utf16ToUtf8(name);
      }
    }
    if (after.count(part) != after.count(record)) {
      return "a part file without its record, or a record without its part";
    }
    if (after.count(part) == 0) {
      return {};
    }
    const auto kept = ReadResumeRecord(FDir / site.Name);
    if (!kept || kept->Url != site.Url) {
      return "a part file whose record does not name its URL";
    }
    const std::string& bytes = after.at(part);
    for (const TVersion& v : site.Versions) {
      if (v.Validator() == kept->Validator && v.Body.size() == kept->Total &&
          bytes.size() < v.Body.size() && v.Body.starts_with(bytes) && !bytes.empty()) {
        return {};
      }
    }
    return "a part file that no later run can go on from: not a beginning of the body its record "
           "names";
  }

  std::mt19937_64 FRandom;
  TTempDir FDir;
  std::vector<TSite> FSites;
  std::size_t FSite = 0;   // the site of the run
  int FRequestsLeft = -1;  // until the line goes down, that one included; -1: it stays up
  std::int64_t FVersions = 0;
  int FCleanBreaks = 0;
  bool FBadRequest = false;
  std::string FLog;
};

TEST(PartFileTest, AnySequenceOfBreaksAnswersAndRunsEndsWithTheExactArchiveOrTheOneBefore) {
  const char* only = std::getenv("PARTFILE_SEED");
  const std::uint64_t first = only != nullptr ? std::strtoull(only, nullptr, 10) : 1;
  const std::uint64_t last = only != nullptr ? first : kSchedules;
  for (std::uint64_t seed = first; seed <= last; ++seed) {
    const std::string error = TSchedule(seed).Play();
    ASSERT_TRUE(error.empty()) << "seed " << seed << ": " << error;
  }
}

}  // namespace
}  // namespace zelkupd
