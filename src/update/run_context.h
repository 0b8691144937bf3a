// The update state of one run and the context that every operation of the driver is handed:
// the state, the platform, the console and the release key.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "runtime/crypto.h"
#include "runtime/stream.h"
#include "update/console.h"

namespace zelkupd {

// The program-wide values of the run, all empty, zero or False at start. Working values that live
// only inside one operation (read buffer, request handle, file stream, tokens) are that
// operation's locals.
struct TUpdateState {
  std::u16string PrevFile;                       // archive installed by the last successful update
  std::u16string DownPath;                       // download folder as configured, then as expanded
  std::int32_t DeleteMode = 0;                   // 1 delete, 2 recycle bin, anything else keep
  std::u16string NewFile;                        // file name of the archive being installed
  std::u16string Answer;                         // "Y" or "N"
  std::array<std::uint32_t, 20> ProcessTable{};  // processes asked to close
  // The process of each recorded slot, opened for waiting at its close request and held until the
  // final wait; nullptr where none is held.
  std::array<TProcessHandle, 20> ProcessHandles{};
  std::u16string ProgramDir;   // the updater's folder and ZELK's, with a final backslash
  std::u16string DownloadDir;  // where archives are downloaded, with a final backslash
  std::u16string ArchivePath;  // the archive on the local disk
  std::u16string TargetUrl;    // the release page, then the archive
  std::u16string QuestionText;
  std::string PageText;          // the release page as received
  std::int32_t PageRetries = 0;  // further tries of the second release page
  bool Downloaded = false;
  // The last extraction attempt met another run's install under way.
  bool InstallHeld = false;
  TInetHandle hInternet = nullptr;
  // When signatures are required: the copy of the archive whose signature was checked
  // (verified_copy.h), held from the check to the last extraction attempt; null otherwise.
  std::unique_ptr<TFileStream> VerifiedCopy;
};

struct TRunContext {
  explicit TRunContext(Platform& system, const TEcPublicKey* releaseKey = nullptr)
      : System(system), Console(system), ReleaseKey(releaseKey) {}
  // Releases the process handles that a run ended early left held.
  ~TRunContext() {
    for (const TProcessHandle process : State.ProcessHandles) {
      if (process != nullptr) {
        System.CloseHandle(process);
      }
    }
  }

  TUpdateState State;
  Platform& System;
  TConsole Console;
  const TEcPublicKey* ReleaseKey;  // the key archives must be signed with; none when null
};

// Thrown to end the process from deep inside the run (a Cancel, an abort); caught at the top,
// which writes out the console and exits with the code.
struct EndOfRun {
  int ExitCode;
};

}  // namespace zelkupd
