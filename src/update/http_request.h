// One GET request of the run through WinINet, made the same way for the release pages, the
// archive and its signature: from the server only (no cache read or written), without cookies,
// automatic logons or any dialog of WinINet's, with a receive timeout so that a server that stops
// answering cannot hold the run. Redirects are followed here, not by WinINet, each hop a request
// made the same way: at most kMaxRedirects of them, only to http:// and https://, and never from
// https to http. An https:// URL gets WinINet's own check of the server's certificate (a trusted
// root, the host's name, the dates); no flag or option that loosens it is ever given.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zelkupd {

// The size of each read: the buffer a transfer reads into holds this much.
inline constexpr std::uint32_t kReadBlockSize = 10240;

// How long WinINet waits for the next bytes of an answer, its headers included, before the read
// or the request fails: far beyond any pause of a working server or network, short enough that a
// run against a server that went silent ends with "取得出来ませんでした." rather than never.
inline constexpr std::uint32_t kReceiveTimeoutMs = 30000;

// How many redirects one request follows: more than any site's move needs, few enough that a
// server that redirects for ever costs the run a handful of requests rather than thousands.
inline constexpr std::uint32_t kMaxRedirects = 10;

enum class TTransferEnd {
  Complete,  // the body ended, no read failed and no fewer bytes came than were announced
  Broken,    // a read failed, or the body ended before its announced Content-Length
  Stopped,   // the caller stopped taking the blocks
  TooLong,   // the body runs on past the limit the caller set
};

class THttpRequest {
 public:
  // Cracks, connects, opens, sets the receive timeout and sends, and so again for each redirect
  // (301, 302, 303, 307, 308) to its Location, taken against the URL it answered; IsOpen tells
  // whether an answer other than a redirect came. Only http:// and https:// URLs are asked, and
  // none at all once an https request would go to http; a redirect without a Location, or past
  // the kMaxRedirects-th, is not an answer either.
  THttpRequest(Platform& system, TInetHandle session, const std::u16string& url);
  // Closes the request and its connection; closing a null handle is harmless.
  ~THttpRequest();
  THttpRequest(const THttpRequest&) = delete;
  THttpRequest& operator=(const THttpRequest&) = delete;

  bool IsOpen() const { return FOpen; }

  // The HTTP status of the answer; 0 when it could not be read, which fails like any status but
  // 200.
  std::uint32_t Status() const { return FStatus; }

  // Hands each block of the body, read into `buffer` (kReadBlockSize bytes), to `take` (its byte
  // count) until the body ends, a read fails, `take` returns false, or the body runs past `limit`
  // bytes: `take` then has had exactly the first `limit`, and one byte more was read to tell. A
  // body shorter than its Content-Length is Broken, since WinINet reports such a body as ending
  // normally; without one, only a failed read shows a break.
  template <typename TTake>
  TTransferEnd ReadBody(char* buffer, std::uint64_t limit, TTake take) const {
    std::uint32_t announced = 0;
    const bool hasLength = QueryContentLength(announced);
    std::uint64_t received = 0;
    for (;;) {
      const auto size =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(kReadBlockSize, limit - received + 1));
      std::uint32_t bytesRead = 0;
      if (!Read(buffer, size, bytesRead)) {
        return TTransferEnd::Broken;
      }
      if (bytesRead == 0) {
        break;
      }
      if (bytesRead > limit - received) {
        if (limit > received) {
          take(static_cast<std::uint32_t>(limit - received));
        }
        return TTransferEnd::TooLong;
      }
      if (!take(bytesRead)) {
        return TTransferEnd::Stopped;
      }
      received += bytesRead;
    }
    return hasLength && received < announced ? TTransferEnd::Broken : TTransferEnd::Complete;
  }

 private:
  bool Open(TInetHandle session, const std::u16string& url);
  bool Send(TInetHandle session, const TUrlParts& parts);
  void Close();
  bool QueryContentLength(std::uint32_t& length) const;
  bool Read(char* buffer, std::uint32_t size, std::uint32_t& bytesRead) const;

  Platform& FSystem;
  TInetHandle FConnection = nullptr;
  TInetHandle FHandle = nullptr;
  std::uint32_t FStatus = 0;
  bool FOpen = false;
};

}  // namespace zelkupd
