// One GET request of the run through WinINet, made the same way for the release pages, the
// archive and its signature: from the server only (no cache read or written), without cookies,
// logons to a site or any dialog of WinINet's, logged on to the system's proxy where it asks, and
// with a receive timeout so that a server that stops answering cannot hold the run. Redirects are
// followed here, not by WinINet, each hop a request made the same way: at most kMaxRedirects of
// them, only to http:// and https://, and never from https to http. An https:// URL gets WinINet's
// own check of the server's certificate (a trusted root, the host's name, the dates); no flag or
// option that loosens it is ever given.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace zelkupd {

// The size of each read: the buffer a transfer reads into holds this much.
inline constexpr std::uint32_t kReadBlockSize = 10240;

// A fresh buffer of kReadBlockSize for each transfer; null when memory is short, which the
// transfers treat as nothing read rather than as an error.
inline std::unique_ptr<char[]> AllocateReadBuffer() {
  return std::unique_ptr<char[]>(new (std::nothrow) char[kReadBlockSize]);
}

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
  TooLong,   // the body runs on past the limit the caller set or past its announced length
};

// HTTP_QUERY_* levels of the headers a transfer looks at, read as text.
inline constexpr std::uint32_t kQueryContentLength = 5;
inline constexpr std::uint32_t kQueryLastModified = 11;
inline constexpr std::uint32_t kQueryContentRange = 53;
inline constexpr std::uint32_t kQueryETag = 54;

class THttpRequest {
 public:
  // Cracks, connects, opens, sets the receive timeout and sends, and so again for each redirect
  // (301, 302, 303, 307, 308) to its Location, taken against the URL it answered; IsOpen tells
  // whether an answer other than a redirect came. Only http:// and https:// URLs are asked, and
  // none at all once an https request would go to http; a redirect without a Location, or past
  // the kMaxRedirects-th, is not an answer either.
  // `headers` (lines each ending in CR LF) go with every hop. Whatever follows a "#" in a URL is
  // its fragment, which names a place in the answer and is never sent.
  THttpRequest(Platform& system, TInetHandle session, const std::u16string& url,
               const std::u16string& headers = {});
  // Closes the request and its connection; closing a null handle is harmless.
  ~THttpRequest();
  THttpRequest(const THttpRequest&) = delete;
  THttpRequest& operator=(const THttpRequest&) = delete;

  bool IsOpen() const { return FOpen; }

  // The HTTP status of the answer; 0 when it could not be read, which fails like any status but
  // 200.
  std::uint32_t Status() const { return FStatus; }

  // The answer's header at that level as text; nullopt when it has none.
  std::optional<std::u16string> Header(std::uint32_t level) const;

  // The announced Content-Length, read as text in full (a number of 32 bits is cut to its low
  // bits by Wine's WinINet); nullopt when there is none or when the header is no decimal number
  // of 64 bits, which AnnouncedWithin refuses.
  std::optional<std::uint64_t> ContentLength() const { return FLength; }

  // True unless the answer announces more than `limit` bytes or a length that is no number: what
  // a transfer that must not take more checks before it reads a byte or makes room.
  bool AnnouncedWithin(std::uint64_t limit) const {
    return !FLengthUnreadable && (!FLength || *FLength <= limit);
  }

  // Hands each block of the body, read into `buffer` (kReadBlockSize bytes), to `take` (its byte
  // count) until the body ends, a read fails, `take` returns false, or the body runs past `limit`
  // bytes: `take` then has had exactly the first `limit`, and one byte more was read to tell. A
  // body shorter than its Content-Length is Broken, since WinINet reports such a body as ending
  // normally; without one, only a failed read shows a break. A body that runs past its announced
  // length is as overlong as one past `limit`: no break, and nothing that the rest of could mend.
  template <typename TTake>
  TTransferEnd ReadBody(char* buffer, std::uint64_t limit, TTake take) const {
    const bool hasLength = FLength.has_value();
    const std::uint64_t announced = FLength.value_or(limit);
    limit = std::min(limit, announced);
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
  bool Open(TInetHandle session, const std::u16string& url, const std::u16string& headers);
  bool Send(TInetHandle session, const TUrlParts& parts, const std::u16string& headers);
  bool SendOnce(TInetHandle session, const TUrlParts& parts, const std::u16string& headers,
                std::uint32_t flags);
  void Close();
  void QueryContentLength();
  bool Read(char* buffer, std::uint32_t size, std::uint32_t& bytesRead) const;

  Platform& FSystem;
  TInetHandle FConnection = nullptr;
  TInetHandle FHandle = nullptr;
  std::uint32_t FStatus = 0;
  std::optional<std::uint64_t> FLength;
  bool FLengthUnreadable = false;
  bool FOpen = false;
};

}  // namespace zelkupd
