#include "update/run.h"

#include <new>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/text.h"
#include "update/app_close.h"
#include "update/dialogs.h"
#include "update/dispose.h"
#include "update/error_report.h"
#include "update/extract.h"
#include "update/http.h"
#include "update/release_page.h"
#include "update/release_signature.h"
#include "update/run_context.h"
#include "update/settings.h"
#include "update/site.h"

namespace zelkupd {
namespace {

// The phases after start-up and target selection; the run moves between them until End.
enum class TPhase { ReleaseSearch, Decision, Download, Outcome, Installation, End };

constexpr std::uint32_t kExpandCapacity = 260;
constexpr std::int32_t kConfigSlot = 30;
constexpr std::int32_t kLastAppSlot = 20;
constexpr int kMaxExtractFailures = 5;

std::u16string ReleasePageUrl() {
  return std::u16string(kSiteBaseUrl) + u"vum_zelk.html";
}
std::u16string SecondReleasePageUrl() {
  return std::u16string(kSiteBaseUrl) + u"vum_scb.html";
}

bool StartsWithUpper(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && UpperCase(text.substr(0, prefix.size())) == prefix;
}

// Expands and, if need be, creates the configured download folder. Ends the process when the
// folder cannot be created.
void PrepareDownloadFolder(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  if (s.DownPath.empty()) {
    s.DownloadDir = s.ProgramDir;
    return;
  }
  ctx.System.SetEnvironmentValue(u"zelk", ExcludeTrailingBackslash(s.ProgramDir));
  std::u16string expanded;
  const std::uint32_t length = ctx.System.ExpandEnvironment(s.DownPath, kExpandCapacity, expanded);
  if (length >= 1 && length <= kExpandCapacity) {
    s.DownPath = expanded;
  } else {
    ctx.Console.PrintLine(u"ダウンロードパスの展開でエラーが発生しました.");
  }
  ctx.Console.PrintLine(u"ダウンロードパスが指定されています：" + s.DownPath);
  s.DownloadDir = IncludeTrailingBackslash(s.DownPath);
  if (!DirectoryExists(s.DownPath)) {
    ctx.Console.PrintLine(u"ダウンロードパスが存在していません. 作成します.");
    ForceDirectories(s.DownPath);
  }
  if (!DirectoryExists(s.DownPath)) {
    ctx.Console.PrintLine(u"ダウンロードパスが作成出来ません. 処理を中止します.");
    ShowEndNotice(ctx);
    throw EndOfRun{0};
  }
}

// Phase A. False when no Internet handle could be opened: the run then goes straight to its end.
bool StartUp(TRunContext& ctx) {
  RecoverInstallation(ctx, ExtractFilePath(ctx.System.ModuleFileName()));
  TUpdateState& s = ctx.State;
  s.QuestionText.clear();
  s.NewFile.clear();
  ReadSettings(ctx);
  if (!s.PrevFile.empty()) {
    ctx.Console.PrintLine(u"『 " + s.PrevFile + u" 』が前回アップデートしたファイルです.");
  }
  ctx.Console.PrintLine(u"ゼルク のアップデートを試みます.");
  ctx.Console.PrintLine(u"");
  s.Downloaded = false;
  s.ProgramDir = IncludeTrailingBackslash(ExtractFilePath(ctx.System.ModuleFileName()));
  PrepareDownloadFolder(ctx);
  AnnounceDisposal(ctx);
  return OpenInternet(ctx);
}

// Phase B: what the argument names.
TPhase SelectTarget(TRunContext& ctx, const std::u16string& argument) {
  TUpdateState& s = ctx.State;
  if (argument.empty()) {
    s.TargetUrl = ReleasePageUrl();
    s.PageRetries = 1;
    return TPhase::ReleaseSearch;
  }
  s.TargetUrl = argument;
  s.PageRetries = 0;
  const std::u16string_view view(argument);
  const std::u16string suffix = UpperCase(view.substr(view.size() < 4 ? 0 : view.size() - 4));
  // "https://" counts as well: taking it for a local file would only report a missing file.
  const bool url = StartsWithUpper(view, u"HTTP://") || StartsWithUpper(view, u"HTTPS://");
  // The URL's last segment becomes the archive's name in the download folder, so only a plain
  // archive file name makes it an archive URL; any other is read as a page
  // ("http://x/get?f=a.zip"). So is a URL with a query or a fragment anywhere, whose last segment
  // is not the name of what is asked for ("http://x/evil.zip?/zelk32_156.zip").
  const std::u16string name = argument.substr(argument.find_last_of(u"/\\:") + 1);
  const bool plainUrl = argument.find_first_of(u"?#") == std::u16string::npos;
  if (suffix != u".ZIP" || (url && (!plainUrl || !IsArchiveFileName(name)))) {
    ctx.Console.PrintLine(u"サーバのページが指定されました.");
    return TPhase::ReleaseSearch;
  }
  if (url) {
    s.NewFile = name;
    ctx.Console.PrintLine(u"サーバ上のアーカイブファイルが指定されました.");
    ctx.Console.PrintLine(u"　→ " + argument);
    return TPhase::Decision;
  }
  ctx.Console.PrintLine(u"ローカルのアーカイブファイルが指定されました.");
  s.DeleteMode = 0;
  // Its long name, so that the signature beside it is looked for under the name it was signed
  // with: "ZELK32~1.ZIP.sig" names no file.
  s.ArchivePath = LongPathName(ExpandFileName(argument));
  if (FileExists(s.ArchivePath)) {
    // Nothing was downloaded, so an archive whose signature fails ends the run at the outcome.
    return !SignaturesRequired(ctx) || CheckLocalArchiveSignature(ctx) ? TPhase::Installation
                                                                       : TPhase::Outcome;
  }
  ctx.Console.PrintLine(u"指定ファイル " + s.ArchivePath + u" が存在しません.");
  return TPhase::Outcome;
}

// The second release page once, in a run without argument; else the outcome.
TPhase FallBack(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  if (s.PageRetries > 0) {
    s.TargetUrl = SecondReleasePageUrl();
    --s.PageRetries;
    return TPhase::ReleaseSearch;
  }
  return TPhase::Outcome;
}

// Phase C.
TPhase SearchRelease(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  FetchPage(ctx);
  if (s.PageText.empty()) {
    return FallBack(ctx);
  }
  ctx.Console.PrintLine(u"取得完了.");
  ctx.Console.PrintLine(u"");
  FindArchiveLink(s);
  if (s.TargetUrl.empty()) {
    ctx.Console.PrintLine(u"ゼルク についての情報が見当たりません.");
    return FallBack(ctx);
  }
  return TPhase::Decision;
}

// Phase D: composes and asks the download question.
TPhase Decide(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  const std::u16string firstLine = u"『 " + s.NewFile + u" 』が対象です.";
  s.ArchivePath = s.DownloadDir + s.NewFile;
  if (FileExists(s.ArchivePath)) {
    AskDownload(ctx, firstLine + u"\r\n既にローカルにも存在しています.", false);
  } else if (UpperCase(s.PrevFile) == UpperCase(s.NewFile)) {
    AskDownload(ctx, firstLine + u"\r\n前回アップデートしたファイルと同じです.", false);
  } else {
    s.QuestionText = firstLine;
    if (s.NewFile.find(u'b') != std::u16string::npos) {
      s.QuestionText += u"\r\n!!!　これはβテスト版です　!!!";
    }
    bool defaultYes = true;
    if (!s.PrevFile.empty()) {
      defaultYes = IsNewerThanPrev(s);
      s.QuestionText += u"\r\n前回アップデートしたファイルよりも";
      s.QuestionText += defaultYes ? u"新しいです." : u"古いです.";
    }
    AskDownload(ctx, s.QuestionText, defaultYes);
  }
  if (UpperCase(s.Answer) != u"Y") {
    ctx.Console.PrintLine(u"放置します.");
    return FallBack(ctx);
  }
  return TPhase::Download;
}

// Phase F.
TPhase Outcome(TRunContext& ctx) {
  if (!ctx.State.Downloaded) {
    ShowEndNotice(ctx);
    return TPhase::End;
  }
  ctx.Console.PrintLine(u"取得完了.");
  return TPhase::Installation;
}

// Phase G: closes ZELK, extracts with retries, records, disposes and starts ZELK again.
void Install(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  ctx.Console.PrintLine(u"起動中の ゼルク を終了...");
  CloseAppWindows(ctx, s.ProgramDir + u"ZELKCFG.EXE", kConfigSlot);
  for (std::int32_t slot = 0; slot <= kLastAppSlot; ++slot) {
    if (!CloseAppWindows(ctx, s.ProgramDir + u"ZELK.EXE", slot)) {
      break;
    }
    ctx.System.Sleep(100);
  }
  ctx.Console.PrintLine(WaitForClosedApps(ctx) ? u"起動中の ゼルク を終了完了."
                                               : u"終了待ちタイムアウト発生.");
  int failures = 0;
  bool extracted = false;
  bool allHeld = true;
  for (;;) {
    // A verified archive is installed from the copy its check was made on, never from its file.
    extracted = s.VerifiedCopy ? ExtractArchive(ctx, s.ArchivePath, *s.VerifiedCopy, s.ProgramDir)
                               : ExtractArchive(ctx, s.ArchivePath, s.ProgramDir);
    allHeld = allHeld && s.InstallHeld;
    if (extracted || ++failures > kMaxExtractFailures) {
      break;
    }
    ctx.Console.PrintLine(u"展開に失敗しました. リトライします. (" + IntToText(failures) + u")");
    ctx.System.Sleep(750);
  }
  s.VerifiedCopy.reset();
  if (extracted) {
    WriteSettings(ctx);
    DisposeArchive(ctx);
  } else if (allHeld) {
    // The other run is installing: a ZELK started now would run on a half-placed installation
    // and hold files its install replaces. That run starts ZELK at its end.
    ctx.Console.PrintLine(u"別のアップデートが実行中です. ゼルク の起動はそちらに任せます.");
    ShowEndNotice(ctx);
    return;
  } else {
    ctx.Console.PrintLine(u"何はともあれ ゼルク の起動を試みます.");
    ShowEndNotice(ctx);
  }
  LaunchApplication(ctx);
}

void RunPhases(TRunContext& ctx, const std::u16string& argument) {
  TPhase phase = StartUp(ctx) ? SelectTarget(ctx, argument) : TPhase::End;
  while (phase != TPhase::End) {
    switch (phase) {
      case TPhase::ReleaseSearch:
        phase = SearchRelease(ctx);
        break;
      case TPhase::Decision:
        phase = Decide(ctx);
        break;
      case TPhase::Download:
        DownloadArchive(ctx);
        phase = TPhase::Outcome;
        break;
      case TPhase::Outcome:
        phase = Outcome(ctx);
        break;
      case TPhase::Installation:
        Install(ctx);
        phase = TPhase::End;
        break;
      case TPhase::End:
        break;
    }
  }
  CloseInternet(ctx);
}

}  // namespace

int RunUpdate(Platform& system, const std::vector<std::u16string>& arguments,
              const TEcPublicKey* releaseKey) {
  TRunContext ctx(system, releaseKey);
  try {
    int exitCode = 0;
    try {
      RunPhases(ctx, arguments.empty() ? std::u16string() : arguments.front());
    } catch (const EndOfRun& end) {
      exitCode = end.ExitCode;
    }
    ctx.Console.Close();
    return exitCode;
  } catch (const Exception& error) {
    ReportUncaughtError(ctx, error);
  } catch (const std::bad_alloc&) {
    ReportUncaughtError(ctx, EOutOfMemory(texts::kOutOfMemory));
  }
  return 1;
}

}  // namespace zelkupd
