#include "trace/stream_pair.h"

namespace tosim {

void StreamPair::Separate() noexcept {
  if (!joined_) {
    return;
  }
  joined_ = false;
  // Less than one block: it stays in each stream's buffer, nothing is written out.
  const std::string_view rest(buffer_, used_);
  used_ = 0;
  console_.WriteParts(rest, {});
  listing_.WriteParts(rest, {});
}

void StreamPair::EchoSeparately(std::string_view bytes, std::string_view end) {
  if (joined_) {
    Separate();  // too long for the shared buffer
  } else if (!console_.WritesThrough() && !listing_.WritesThrough() && console_.Pending() == 0 &&
             listing_.Pending() == 0 && bytes.size() + end.size() <= kRoom) {
    // Two empty buffers hold the same bytes, and keep doing so as long as both get the same.
    joined_ = true;
    Echo(bytes, end);
    return;
  }
  console_.WriteParts(bytes, end);
  listing_.WriteParts(bytes, end);
}

void StreamPair::WriteSharedBlocks() {
  const std::size_t whole = used_ - used_ % kStreamBufferSize;
  // A failed block of the console ends the run before any of this Echo() reaches the listing;
  // the bytes after the failed block were never put, as with Write().
  for (std::size_t at = 0; at < whole; at += kStreamBufferSize) {
    if (const int error = console_.Send(buffer_ + at, kStreamBufferSize); error != 0) {
      used_ = 0;
      joined_ = false;
      console_.Failed(error);
    }
  }
  // The console has taken all the bytes when a block of the listing fails: it keeps the rest.
  int listingError = 0;
  for (std::size_t at = 0; at < whole && listingError == 0; at += kStreamBufferSize) {
    listingError = listing_.Send(buffer_ + at, kStreamBufferSize);
  }
  std::copy(buffer_ + whole, buffer_ + used_, buffer_);
  used_ -= whole;
  if (listingError != 0) {
    joined_ = false;
    console_.WriteParts({buffer_, used_}, {});
    used_ = 0;
    listing_.Failed(listingError);
  }
}

}  // namespace tosim
