// Fuzzes the terminal's input decoding. Beyond not crashing: whatever the
// bytes, the decoder holds no more than one unfinished sequence, lets go of
// it once the delay has passed, hands out only well-formed events, decodes
// the same however the bytes are split into reads, and turns every plain
// ASCII byte into exactly one key.

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/input/input_decoder.h"

namespace {

using keelmark::InputDecoder;
using keelmark::InputEvent;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "decoder invariant broken: %s\n", what);
    std::abort();
  }
}

std::string Describe(const InputEvent& e) {
  return std::to_string(static_cast<int>(e.kind)) + ":" + std::to_string(e.character) + ":" +
         std::to_string(e.scanCode) + ":" + std::to_string(e.alt) + ":" +
         std::to_string(e.buttonState) + ":" + std::to_string(e.row) + ":" +
         std::to_string(e.column) + ":" + std::to_string(e.eventFlags);
}

std::vector<std::string> Drain(InputDecoder& decoder) {
  std::vector<std::string> events;
  while (decoder.HasEvent()) {
    const InputEvent e = decoder.TakeEvent();
    switch (e.kind) {
      case InputEvent::Kind::Key:
        Check(e.keyDown, "a key release");
        Check((e.character >= 0 && e.character <= 255) || (e.character == -1 && e.scanCode > 0),
              "a key with neither a character nor a scan code");
        break;
      case InputEvent::Kind::Mouse:
        Check(e.row >= 1 && e.column >= 1, "a mouse event off the screen");
        Check(e.buttonState >= 0 && e.buttonState <= 7, "an unknown button");
        break;
      default:
        Check(false, "an event of another kind");
    }
    events.push_back(Describe(e));
  }
  return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the locale and how the rest is split into reads.
  const std::uint8_t shape = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::setlocale(LC_CTYPE, (shape & 1) == 0 ? "C.UTF-8" : "C");
  keelmark::InputDecoderOptions options;
  options.keyStrings = {{"\x1b[11~", -1, 0x3B}, {"\x1bOw", -1, 0x47}, {"\x1b[[A", -1, 0x3B}};

  InputDecoder whole(options);
  whole.Feed(bytes, 0);
  Check(whole.HeldBytes() <= 70, "more held than one sequence");
  whole.Expire(1000);
  Check(whole.HeldBytes() == 0, "bytes held after the delay");
  const std::vector<std::string> wholeEvents = Drain(whole);

  // The same bytes in reads of 1 to 8 bytes, all at the same moment.
  InputDecoder split(options);
  const std::size_t step = static_cast<std::size_t>(shape >> 5) + 1;
  std::vector<std::string> splitEvents;
  for (std::size_t at = 0; at < bytes.size(); at += step) {
    split.Feed(bytes.substr(at, step), 0);
    for (std::string& e : Drain(split)) splitEvents.push_back(std::move(e));
  }
  split.Expire(1000);
  for (std::string& e : Drain(split)) splitEvents.push_back(std::move(e));
  Check(splitEvents == wholeEvents, "split reads decode differently");

  bool plainAscii = true;
  for (char c : bytes) plainAscii = plainAscii && c != '\x1b' && static_cast<unsigned char>(c) < 0x80;
  if (plainAscii) Check(wholeEvents.size() == bytes.size(), "a plain byte lost or doubled");

  // Time passing between reads: whatever is held is let go in the end.
  InputDecoder timed(options);
  std::int64_t now = 0;
  for (std::size_t at = 0; at < bytes.size(); at += step) {
    timed.Feed(bytes.substr(at, step), now);
    now += static_cast<unsigned char>(bytes[at]) % 40;
    timed.Expire(now);
    Drain(timed);
  }
  timed.Expire(now + 1000);
  Drain(timed);
  Check(timed.HeldBytes() == 0, "bytes held after the delay, timed reads");
  return 0;
}
