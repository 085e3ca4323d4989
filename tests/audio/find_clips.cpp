// Reads a recording of the game's sound and tells where each clip was heard,
// how much of it was heard, whether it broke up, and where other sound
// (speech) lies around the clips.
//
//   find_clips [options] RATE RECORDING NAME=CLIP [NAME=CLIP ...]
//
// RECORDING and every CLIP are raw signed 16-bit little-endian mono samples
// at RATE (sox makes them). Options:
//   --min-correlation X   weakest match of a whole clip still taken (0.4)
//   --silence-db X        level (dBFS, 5 ms frames) below which is quiet (-55)
//   --join-gap S          quiet shorter than this inside other sound does not
//                         split it (0.25 s)
//   --map RATE FILE       the runs of silence taken out of the recording
//                         (at its own RATE) by --splice: times are put back
//                         on the recording's clock, and the runs inside a
//                         clip are its dropouts
//
//   find_clips --splice RATE RECORDING SPLICED MAP
// takes the runs of exact zeros of 0.5 to 50 ms out of RECORDING (what a
// server plays when a stream runs dry; resampling would blur them), writing
// SPLICED, and MAP for --map.
//
// Clips follow each other and speech within tens of milliseconds, so cutting
// the recording at silences cannot tell them apart. Each clip is found by its
// waveform instead: normalised cross-correlation of the clip against every
// position of the recording (computed with an FFT), and of its first and
// last stretches alone; the peaks are followed block by block to see how much
// of the clip was heard, and the best kept. Where a run of silence was taken
// out inside a clip, the clip may go on a little further on (the server threw
// away what came too late), so each stretch between such joints is lined up
// on its own. Whatever sounds once the clips found are taken away is reported
// as "sound".
//
// Output, one event a line, in time order (seconds from the recording's
// start):
//   clip NAME START END HEARD NOMINAL CORRELATION RESIDUAL-DB DROPOUTS LONGEST
//   sound - START END LENGTH
// HEARD is how much of the clip the recording followed from its start;
// CORRELATION compares the recording with the whole clip (a clip cut short
// matches less); RESIDUAL-DB is the energy left over the heard part once the
// clip is taken away, relative to the recording's energy there (very
// negative: the clip alone was sounding). DROPOUTS counts the places where
// the clip fell silent and then went on; LONGEST is the longest of them, in
// seconds.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Complex = std::complex<double>;

struct Clip {
  std::string name;
  std::vector<double> samples;
};

// A stretch of a clip heard in one piece: from clip sample `clipFrom`, at
// recording sample `recordingStart`, as heard (moved by the fraction of a
// sample it was heard at).
struct Piece {
  std::size_t recordingStart = 0;
  std::size_t clipFrom = 0;
  std::vector<double> samples;
};

struct Event {
  bool isClip = false;
  std::string name;
  std::size_t start = 0;  // recording samples
  std::size_t end = 0;
  std::size_t heard = 0;  // clip samples
  std::size_t nominal = 0;
  double correlation = 0.0;
  double residualDb = 0.0;
  double gain = 0.0;  // the clip's level in the recording
  std::vector<Piece> pieces;
  int dropouts = 0;
  std::size_t longestDropout = 0;  // recording samples
};

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "find_clips: %s\n", message.c_str());
  std::exit(2);
}

std::vector<double> ReadRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Die("cannot read " + path);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<double> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto low = static_cast<std::uint8_t>(bytes[2 * i]);
    const auto high = static_cast<std::uint8_t>(bytes[2 * i + 1]);
    samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8))) / 32768.0;
  }
  return samples;
}

// In-place iterative radix-2 FFT; inverse without the 1/n scale.
void Fft(std::vector<Complex>& a, bool inverse) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (std::size_t length = 2; length <= n; length <<= 1) {
    const double angle = 2 * M_PI / static_cast<double>(length) * (inverse ? 1 : -1);
    const Complex step(std::cos(angle), std::sin(angle));
    for (std::size_t i = 0; i < n; i += length) {
      Complex w(1);
      for (std::size_t k = 0; k < length / 2; ++k) {
        const Complex u = a[i + k];
        const Complex v = a[i + k + length / 2] * w;
        a[i + k] = u + v;
        a[i + k + length / 2] = u - v;
        w *= step;
      }
    }
  }
}

double Energy(const std::vector<double>& x, std::size_t from, std::size_t count) {
  double sum = 0;
  for (std::size_t i = from; i < from + count && i < x.size(); ++i) sum += x[i] * x[i];
  return sum;
}

double Dot(const std::vector<double>& x, std::size_t xFrom, const std::vector<double>& c, std::size_t cFrom,
           std::size_t count) {
  double sum = 0;
  for (std::size_t i = 0; i < count && xFrom + i < x.size() && cFrom + i < c.size(); ++i)
    sum += x[xFrom + i] * c[cFrom + i];
  return sum;
}

std::vector<double> Slice(const std::vector<double>& x, std::size_t from, std::size_t count) {
  from = std::min(from, x.size());
  count = std::min(count, x.size() - from);
  return std::vector<double>(x.begin() + static_cast<std::ptrdiff_t>(from),
                             x.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// Normalised correlation of a probe against the recording at every start
// position. A probe running past the end of the recording is still looked
// for: past the end the recording counts as silence.
std::vector<double> Correlate(const std::vector<Complex>& recordingSpectrum, const std::vector<double>& prefixEnergy,
                              const std::vector<double>& probe, std::size_t recordingLength) {
  const std::size_t n = recordingSpectrum.size();
  std::vector<Complex> spectrum(n);
  for (std::size_t i = 0; i < probe.size(); ++i) spectrum[i] = probe[i];
  Fft(spectrum, false);
  for (std::size_t i = 0; i < n; ++i) spectrum[i] = recordingSpectrum[i] * std::conj(spectrum[i]);
  Fft(spectrum, true);
  const double probeEnergy = Energy(probe, 0, probe.size());
  std::vector<double> ncc(recordingLength, 0.0);
  if (probeEnergy <= 0) return ncc;
  // Windows of the recording too faint to be the probe at all are skipped,
  // so that rounding noise over near-silence cannot make a match.
  const double faintest = probeEnergy * 1e-4;
  for (std::size_t t = 0; t < recordingLength; ++t) {
    const double windowEnergy = prefixEnergy[std::min(t + probe.size(), recordingLength)] - prefixEnergy[t];
    if (windowEnergy < faintest) continue;
    ncc[t] = spectrum[t].real() / static_cast<double>(n) / std::sqrt(windowEnergy * probeEnergy);
  }
  return ncc;
}

// The samples moved later by a fraction of a sample (windowed-sinc
// interpolation). Every path the sound takes resamples it, so the recording
// rarely lines up with the clip on a whole sample; a 2.5 kHz tone a third of
// a sample off at 16 kHz would leave a tenth of its energy unexplained.
std::vector<double> Delayed(const std::vector<double>& samples, double delay) {
  constexpr int reach = 16;
  double taps[2 * reach + 1];
  for (int j = -reach; j <= reach; ++j) {
    const double u = j - delay;
    const double sinc = std::abs(u) < 1e-12 ? 1.0 : std::sin(M_PI * u) / (M_PI * u);
    const double window = std::abs(u) < reach + 1 ? 0.5 * (1 + std::cos(M_PI * u / (reach + 1))) : 0.0;
    taps[j + reach] = sinc * window;
  }
  std::vector<double> out(samples.size());
  const auto size = static_cast<std::ptrdiff_t>(samples.size());
  for (std::ptrdiff_t i = 0; i < size; ++i) {
    double sum = 0;
    for (int j = -reach; j <= reach; ++j) {
      const std::ptrdiff_t k = i - j;
      if (k >= 0 && k < size) sum += samples[static_cast<std::size_t>(k)] * taps[j + reach];
    }
    out[static_cast<std::size_t>(i)] = sum;
  }
  return out;
}

// The fraction of a sample (up to one either way) by which the samples,
// moved later, best match the recording from `start`.
double BestDelay(const std::vector<double>& x, std::size_t start, const std::vector<double>& samples) {
  auto score = [&](const std::vector<double>& candidate) {
    const double energy = Energy(candidate, 0, candidate.size());
    return energy > 0 ? Dot(x, start, candidate, 0, candidate.size()) / std::sqrt(energy) : 0.0;
  };
  double bestDelay = 0;
  double bestScore = score(samples);
  for (double step : {0.1, 0.01}) {
    const double around = bestDelay;
    for (int k = -9; k <= 9; ++k) {
      const double delay = around + k * step;
      if (k == 0 || std::abs(delay) > 1.0) continue;
      const double value = score(Delayed(samples, delay));
      if (value > bestScore) {
        bestScore = value;
        bestDelay = delay;
      }
    }
  }
  return bestDelay;
}

// `count` samples of the clip from `from`, moved later by a fraction of a
// sample; the samples around them are taken in, so that the stretch's edges
// come out as they do in the whole clip.
std::vector<double> DelayedStretch(const std::vector<double>& clip, std::size_t from, std::size_t count,
                                   double delay) {
  constexpr std::size_t margin = 17;
  const std::size_t first = from > margin ? from - margin : 0;
  const std::size_t last = std::min(clip.size(), from + count + margin);
  const std::vector<double> moved = Delayed(Slice(clip, first, last - first), delay);
  return Slice(moved, from - first, count);
}

double Ncc(const std::vector<double>& x, std::size_t at, const std::vector<double>& samples, std::size_t from,
           std::size_t count) {
  const double recordingEnergy = Energy(x, at, count);
  const double clipEnergy = Energy(samples, from, count);
  if (recordingEnergy <= 0 || clipEnergy <= 0) return 0.0;
  return Dot(x, at, samples, from, count) / std::sqrt(recordingEnergy * clipEnergy);
}

double LoudestBlock(const std::vector<double>& samples, std::size_t block) {
  double loudest = 0;
  for (std::size_t b = 0; b < samples.size(); b += block) loudest = std::max(loudest, Energy(samples, b, block));
  return loudest;
}

// Stretches of at least 2 ms inside a piece where the recording is silent
// (below -60 dBFS) though the clip sounds there (above -30 dBFS), with more
// of the clip after them: counted, and the longest kept. Without the
// recording at its own rate, this and the jumps of FollowClip are all there
// is to tell dropouts by.
void CountSilentHoles(const std::vector<double>& x, const Piece& piece, int rate, Event& event) {
  const std::size_t shortest = static_cast<std::size_t>(rate / 500);
  std::size_t run = 0;
  double clipEnergy = 0;
  for (std::size_t i = 0; i < piece.samples.size() && piece.recordingStart + i < x.size(); ++i) {
    if (std::abs(x[piece.recordingStart + i]) < 1e-3) {
      ++run;
      clipEnergy += piece.samples[i] * piece.samples[i];
      continue;
    }
    if (run >= shortest && clipEnergy / static_cast<double>(run) > 1e-3) {
      ++event.dropouts;
      event.longestDropout = std::max(event.longestDropout, run);
    }
    run = 0;
    clipEnergy = 0;
  }
}

// When the game's sound output falls behind, the server plays exact silence
// until more comes, and the rest of the sound is heard that much later. Runs
// of exact zeros from half a millisecond to 50 ms are taken out of the
// recording at its own rate before the clips are looked for, so that each
// clip lies in one piece however often it broke up; where they were is kept,
// to put every time found back on the recording's own clock and to count a
// run inside a clip as a dropout. (No clip holds such a run of its own, and
// speech's own pauses taken out change nothing once put back.)
struct Splice {
  std::size_t at;      // position in the spliced recording, full rate
  std::size_t length;  // samples taken out there
};

// A run taken out, at the rate clips are matched at.
struct Joint {
  std::size_t at;
  std::size_t length;
};

int SpliceZeroRuns(int rate, const std::string& inPath, const std::string& outPath, const std::string& mapPath) {
  std::ifstream in(inPath, std::ios::binary);
  if (!in) Die("cannot read " + inPath);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t count = bytes.size() / 2;
  const std::size_t shortest = static_cast<std::size_t>(rate / 2000);
  const std::size_t longest = static_cast<std::size_t>(rate / 20);
  auto zero = [&](std::size_t i) { return bytes[2 * i] == 0 && bytes[2 * i + 1] == 0; };
  std::ofstream out(outPath, std::ios::binary);
  std::ofstream map(mapPath);
  if (!out || !map) Die("cannot write " + outPath + " or " + mapPath);
  std::size_t written = 0;
  for (std::size_t i = 0; i < count;) {
    std::size_t run = 0;
    while (i + run < count && zero(i + run)) ++run;
    // Silence at either end of the recording is no dropout.
    const bool inside = i > 0 && i + run < count;
    if (run > 0 && inside && run >= shortest && run <= longest) {
      map << written << ' ' << run << '\n';
    } else if (run > 0) {
      out.write(&bytes[2 * i], static_cast<std::streamsize>(2 * run));
      written += run;
    } else {
      out.write(&bytes[2 * i], 2);
      ++written;
      run = 1;
    }
    i += run;
  }
  return out && map ? 0 : 2;
}

std::vector<Splice> ReadSplices(const std::string& path) {
  std::ifstream in(path);
  if (!in) Die("cannot read " + path);
  std::vector<Splice> splices;
  Splice splice{};
  while (in >> splice.at >> splice.length) splices.push_back(splice);
  return splices;
}

// A time of the spliced recording (full-rate samples) on the recording's own
// clock. A start goes after a run taken out right there, an end before it.
std::size_t Unspliced(const std::vector<Splice>& splices, std::size_t at, bool isStart, std::size_t slack) {
  std::size_t original = at;
  for (const Splice& splice : splices) {
    if (isStart ? splice.at <= at + slack : splice.at + slack < at) original += splice.length;
  }
  return original;
}

// How a clip lies across the joints inside it: each stretch of recording
// between two joints holds the clip at a lag of its own.
struct Stretch {
  std::size_t at;  // where the stretch begins in the recording (its joint)
  std::size_t lag;  // the recording position of clip sample 0 there
  double delay;     // and the fraction of a sample it is heard later
};

// The lag among [low, high] at which the clip matches the recording best
// over `window(l, recordingFrom, clipFrom, length)`, judged at the fraction
// of a sample each lag is heard at: a whistle near the top of the band
// matches a period off about as well as a fraction of a sample off on whole
// samples, so the best few whole-sample peaks are judged again. False when
// nothing matches to 0.75.
template <typename Window>
bool LineUp(const std::vector<double>& x, const std::vector<double>& clip, std::size_t low, std::size_t high,
            Window window, std::size_t& lag, double& delay) {
  struct Peak {
    std::size_t lag;
    double ncc;
  };
  std::vector<Peak> peaks;
  double before = -2, previous = -2;
  for (std::size_t l = low; l <= high + 1; ++l) {
    std::size_t from = 0, clipFrom = 0, length = 0;
    const double ncc = l <= high && window(l, from, clipFrom, length) ? Ncc(x, from, clip, clipFrom, length) : -2;
    if (l > low && previous > 0.5 && previous >= before && previous >= ncc) peaks.push_back({l - 1, previous});
    before = previous;
    previous = ncc;
  }
  std::sort(peaks.begin(), peaks.end(), [](const Peak& p, const Peak& q) { return p.ncc > q.ncc; });
  if (peaks.size() > 6) peaks.resize(6);
  double best = 0.75;
  bool found = false;
  for (const Peak& peak : peaks) {
    std::size_t from = 0, clipFrom = 0, length = 0;
    window(peak.lag, from, clipFrom, length);
    const double d = BestDelay(x, from, Slice(clip, clipFrom, length));
    const double ncc = Ncc(x, from, DelayedStretch(clip, clipFrom, length, d), 0, length);
    if (ncc > best) {
      best = ncc;
      lag = peak.lag;
      delay = d;
      found = true;
    }
  }
  return found;
}

// Where a run of silence was taken out, the server had run dry and thrown
// away what came too late for it: the clip goes on after the joint up to as
// far ahead as the silence was long. The clip as found from `start` is cut
// at the joints inside it; the longest stretch is lined up first, anywhere
// all that silence allows, then each neighbour from it, within what its own
// joint allows. A quarter second of a whistle or a buzz, unlike a block of
// it, does not match itself a period off. A stretch too short to judge keeps
// its neighbour's lag; a first stretch that holds no more than a sliver of
// the clip was the quiet before it. One stretch at `start` when nothing
// lines up.
std::vector<Stretch> PlanStretches(const std::vector<double>& x, const std::vector<double>& clip, std::size_t start,
                                   const std::vector<Joint>& joints, int rate) {
  const std::vector<Stretch> asFound{{0, start, 0.0}};
  std::vector<Joint> inside;
  std::size_t taken = 0;
  const std::size_t slack = 2;
  for (const Joint& joint : joints) {
    if (joint.at > start && joint.at < start + clip.size()) {
      inside.push_back(joint);
      taken += joint.length + slack;
    }
  }
  if (inside.empty()) return asFound;
  const std::size_t longest = static_cast<std::size_t>(rate / 4);
  const std::size_t shortest = static_cast<std::size_t>(rate / 200);
  const std::size_t n = inside.size();
  // Stretch k begins at joint k - 1 and ends at joint k (the first and the
  // last as far as the clip reaches from `start`).
  auto begins = [&](std::size_t k) { return k == 0 ? start : inside[k - 1].at; };
  auto ends = [&](std::size_t k) { return k == n ? start + clip.size() : inside[k].at; };
  std::size_t m = 0;
  for (std::size_t k = 1; k <= n; ++k)
    if (ends(k) - begins(k) > ends(m) - begins(m)) m = k;

  std::vector<Stretch> plan(n + 1);
  for (std::size_t k = 0; k <= n; ++k) plan[k] = {begins(k), start, 0.0};
  plan[0].at = 0;
  // Lines stretch k up among [low, high], over the same stretch of
  // recording for every lag tried: its first quarter second, or (going
  // back from a later stretch, where the clip may begin inside it) its last.
  auto lineUpStretch = [&](std::size_t k, std::size_t low, std::size_t high, bool atEnd) {
    std::size_t from = 0, length = 0;
    if (atEnd) {
      const std::size_t to = ends(k);
      if (to <= high + shortest) return false;
      length = std::min({to - high, longest, k == 0 ? to - high : to - begins(k)});
      from = to - length;
    } else {
      from = begins(k);
      if (from < high || from - low >= clip.size()) return false;
      length = std::min({(k == n ? x.size() : ends(k)) - from, longest, clip.size() - (from - low)});
    }
    if (length < shortest) return false;
    return LineUp(
        x, clip, low, high,
        [&](std::size_t l, std::size_t& recordingFrom, std::size_t& clipFrom, std::size_t& windowLength) {
          recordingFrom = from;
          clipFrom = from - l;
          windowLength = length;
          return true;
        },
        plan[k].lag, plan[k].delay);
  };
  if (!lineUpStretch(m, start > taken ? start - taken : 0, start + taken, m == 0)) return asFound;
  for (std::size_t k = m + 1; k <= n; ++k) {
    const std::size_t previous = plan[k - 1].lag;
    const std::size_t low = previous > inside[k - 1].length + slack ? previous - inside[k - 1].length - slack : 0;
    if (begins(k) >= low + clip.size()) {
      // The clip was over before this joint.
      plan.resize(k);
      break;
    }
    if (!lineUpStretch(k, low, std::min(previous + slack, begins(k)), false))
      plan[k] = {begins(k), previous, plan[k - 1].delay};
  }
  for (std::size_t k = m; k-- > 0;) {
    const std::size_t next = plan[k + 1].lag;
    const std::size_t high = next + inside[k].length + slack;
    if (ends(k) <= high + shortest) {
      // No more than a sliver of the clip can lie before this joint: the
      // clip begins after it, and what came before was the quiet before it.
      plan.erase(plan.begin(), plan.begin() + static_cast<std::ptrdiff_t>(k + 1));
      plan[0].at = 0;
      break;
    }
    if (!lineUpStretch(k, next > slack ? next - slack : 0, high, true)) {
      plan[k].lag = next;
      plan[k].delay = plan[k + 1].delay;
    }
  }
  return plan;
}

// Follows a clip through the recording from `start`, 20 ms block by block,
// each block at the lag of the one before. When the sound output falls
// behind (an underrun), the server plays silence until more comes, and the
// rest of the clip is heard that much later: a block that no longer matches
// is looked for further on, and found there, the clip goes on at the new
// lag and the jump counts as a dropout. Where the clip itself is nearly
// silent (its fade-out) a block matches when the recording is nearly silent
// too; where the recording is silent and the clip is not, the block neither
// matches nor ends the clip. Three blocks in a row that match nowhere end
// it: the clip was cut off, or something else drowned it. Where silence
// was taken out of the recording (`joints`), the clip may go on from
// further on, and is lined up afresh. Returns false when not even the first
// block matches.
bool FollowClip(const std::vector<double>& x, std::size_t start, const std::vector<double>& clip, int rate,
                const std::vector<Joint>& joints, Event& event) {
  const std::size_t block = static_cast<std::size_t>(rate / 50);
  const double loudest = LoudestBlock(clip, block);
  const std::size_t longestJump = static_cast<std::size_t>(rate / 4);
  // Only a few milliseconds back: further, a buzz that repeats itself would
  // match its own later stretch over what was heard already, and a clip cut
  // short would pass for whole.
  const std::size_t longestBack = static_cast<std::size_t>(rate / 200);
  // A shorter jump is the fraction of a sample settling, not a dropout.
  const std::size_t shortestJump = 2;
  const std::size_t searchWindow = 3 * block;

  struct Span {
    std::size_t clipFrom, clipTo, lag;
    std::size_t stretch = 0;  // each stretch is heard at a fraction of a sample of its own
  };
  std::vector<Span> spans;
  std::size_t lag = start;  // recording position of clip sample 0
  // and the fraction of a sample it is heard later than that
  double delay = BestDelay(x, start, Slice(clip, 0, std::min(clip.size(), searchWindow)));
  std::size_t heard = 0;
  int misses = 0;
  // A dropout in the clip's first moments puts all the rest of it at a later
  // lag, where the whole clip matches best and so where it is looked for
  // from; its first blocks are then heard earlier than that, and are looked
  // for once the rest has been followed. Up to a quarter second of them.
  const std::size_t leadingBlocksAllowed = static_cast<std::size_t>(rate / 4) / block;
  std::size_t leadingMisses = 0;
  auto missedBeforeStart = [&]() { return spans.empty() && ++leadingMisses <= leadingBlocksAllowed; };
  // Across the joints inside it, the clip is followed stretch by stretch,
  // each at the lag it was lined up at.
  const std::vector<Stretch> plan = PlanStretches(x, clip, start, joints, rate);
  lag = plan.front().lag;
  if (plan.size() > 1 || lag != start) delay = plan.front().delay;
  std::size_t nextStretch = 1;

  auto matched = [&](std::size_t from, std::size_t to) {
    if (spans.empty() || spans.back().lag != lag || spans.back().clipTo != from ||
        spans.back().stretch != nextStretch)
      spans.push_back({from, to, lag, nextStretch});
    spans.back().clipTo = to;
    heard = to;
    misses = 0;
  };

  for (std::size_t b = 0, count = 0; b < clip.size(); b += count) {
    count = std::min(block, clip.size() - b);
    if (nextStretch < plan.size() && plan[nextStretch].at <= lag + b) {
      // At a joint: what the server threw away there is not heard, and the
      // clip goes on from the joint at the lag of the next stretch.
      const Stretch& next = plan[nextStretch++];
      lag = next.lag;
      delay = next.delay;
      count = 0;
      if (next.at >= lag && next.at - lag > b) b = next.at - lag;
      continue;
    }
    if (nextStretch < plan.size() && plan[nextStretch].at < lag + b + count) {
      count = plan[nextStretch].at - (lag + b);
      // A sliver before a joint is too short to judge: it goes with what
      // came before it.
      if (count < block / 4) {
        if (!spans.empty() && spans.back().clipTo == b) matched(b, b + count);
        continue;
      }
    }
    const double clipEnergy = Energy(clip, b, count);
    const double recordingEnergy = Energy(x, lag + b, count);
    if (clipEnergy < loudest * 1e-4) {
      // Silence against silence carries a stretch on, but starts none.
      if (recordingEnergy >= loudest * 1e-3) {
        if (++misses >= 3) break;
      } else if (!spans.empty() && spans.back().clipTo == b) {
        matched(b, b + count);
      }
      continue;
    }
    if (recordingEnergy < loudest * 1e-4) {
      // Silence where the clip sounds: a dropout, once the clip has begun.
      // Before that, the clip is not starting here at all (a clip that
      // repeats itself lines up over its own later stretch this way).
      if (spans.empty() && !missedBeforeStart()) return false;
      continue;
    }
    // In step: the block as heard at the current lag and fraction of a
    // sample matches closely.
    const double here = Ncc(x, lag + b, DelayedStretch(clip, b, count, delay), 0, count);
    if (here >= 0.9) {
      matched(b, b + count);
      continue;
    }
    // Slightly out of step: the clip heard a little slow or fast (the
    // server's clock and the stream's slide against each other now and then
    // by a fraction of a per cent). The lag follows it, a sample or two a
    // block, without counting a dropout.
    {
      const std::vector<double> part = Slice(clip, b, count);
      double nearBest = here;
      std::size_t nearLag = lag;
      double nearDelay = delay;
      for (const long step : {0L, -1L, 1L, -2L, 2L}) {
        if (step < 0 && lag < static_cast<std::size_t>(-step)) continue;
        const std::size_t l = static_cast<std::size_t>(static_cast<long>(lag) + step);
        const double d = BestDelay(x, l + b, part);
        const double ncc = Ncc(x, l + b, DelayedStretch(clip, b, count, d), 0, count);
        if (ncc > nearBest) {
          nearBest = ncc;
          nearLag = l;
          nearDelay = d;
        }
      }
      if (nearBest >= 0.9) {
        lag = nearLag;
        delay = nearDelay;
        matched(b, b + count);
        continue;
      }
    }
    // Out of step, or something else sounding: is the clip going on later?
    // A few blocks are compared at once, so that speech cannot pass for the
    // clip by chance.
    const std::size_t window = std::min(searchWindow, clip.size() - b);
    double best = 0;
    std::size_t bestLag = 0;
    double bestDelay = 0;
    if (window >= 2 * block) {
      // Backwards too, a little: a server that takes back what it had
      // mixed (to start another stream sooner) has already sent the first
      // mix to the recorder, and the clip is heard again from a little
      // before, or skips ahead.
      const std::size_t back = std::min(lag, longestBack);
      for (std::size_t l = lag - back; l <= lag + longestJump; ++l) {
        if (l + shortestJump > lag && l < lag + shortestJump) continue;
        const double ncc = Ncc(x, l + b, clip, b, window);
        if (ncc > best) {
          best = ncc;
          bestLag = l;
        }
      }
    }
    if (bestLag != 0) {
      // Judged at the fraction of a sample it is heard at: noisy clips lose
      // much of their match half a sample off.
      const std::vector<double> part = Slice(clip, b, window);
      bestDelay = BestDelay(x, bestLag + b, part);
      best = Ncc(x, bestLag + b, DelayedStretch(clip, b, window, bestDelay), 0, window);
    }
    if (best >= 0.75 && best > here + 0.1) {
      ++event.dropouts;
      event.longestDropout = std::max(event.longestDropout, bestLag > lag ? bestLag - lag : lag - bestLag);
      lag = bestLag;
      delay = bestDelay;
      matched(b, b + count);
      continue;
    }
    // Still in step, but something else sounds over it.
    if (here >= 0.5) {
      matched(b, b + count);
      continue;
    }
    if (spans.empty()) {
      if (missedBeforeStart()) continue;
      return false;
    }
    if (++misses >= 3) break;
  }
  if (spans.empty()) return false;

  // The clip's first blocks, not heard at the lag of the rest: heard a
  // dropout earlier, or (a fade-in too quiet to tell) taken as heard there.
  if (spans.front().clipFrom >= block) {
    Span& first = spans.front();
    const std::size_t head = first.clipFrom;
    double best = 0;
    std::size_t bestLag = 0;
    for (std::size_t l = first.lag > longestJump ? first.lag - longestJump : 0; l + shortestJump <= first.lag; ++l) {
      const double ncc = Ncc(x, l, clip, 0, head);
      if (ncc > best) {
        best = ncc;
        bestLag = l;
      }
    }
    if (best >= 0.75) {
      ++event.dropouts;
      event.longestDropout = std::max(event.longestDropout, first.lag - bestLag);
      spans.insert(spans.begin(), Span{0, head, bestLag, first.stretch});
    } else if (Energy(clip, 0, head) < loudest * 1e-3) {
      first.clipFrom = 0;
    }
  }

  // Where the clip stopped and where it went on are known to a block; they
  // are placed to the sample where the two stretches, each at its own lag,
  // explain the recording best (the gap between them being silence).
  for (std::size_t k = 0; k + 1 < spans.size(); ++k) {
    Span& before = spans[k];
    Span& after = spans[k + 1];
    // Apart, the two met at a joint, where what lies between was thrown away.
    if (before.lag == after.lag || before.clipTo != after.clipFrom) continue;
    const std::size_t low = std::max(before.clipFrom + 1, before.clipTo > block ? before.clipTo - block : 0);
    const std::size_t high = std::min(after.clipTo - 1, after.clipFrom + block);
    if (low >= high) continue;
    const double energy = Energy(clip, before.clipFrom, before.clipTo - before.clipFrom);
    const double gain =
        energy > 0 ? Dot(x, before.lag + before.clipFrom, clip, before.clipFrom, before.clipTo - before.clipFrom) / energy
                   : 1.0;
    auto miss = [&](std::size_t lag, std::size_t i) {
      const double r = (lag + i < x.size() ? x[lag + i] : 0.0) - gain * clip[i];
      return r * r;
    };
    // Cost of splitting at s: the old lag up to s, the new one from s.
    double cost = 0;
    for (std::size_t i = low; i < high; ++i) cost += miss(after.lag, i);
    double best = cost;
    std::size_t split = low;
    for (std::size_t i = low; i < high; ++i) {
      cost += miss(before.lag, i) - miss(after.lag, i);
      if (cost < best) {
        best = cost;
        split = i + 1;
      }
    }
    before.clipTo = split;
    after.clipFrom = split;
  }

  // Each stretch at its lag, moved by the fraction of a sample it is heard
  // at: every path the sound takes resamples it, so the recording rarely
  // lines up with the clip on a whole sample.
  for (const Span& span : spans) {
    Piece piece;
    piece.recordingStart = span.lag + span.clipFrom;
    piece.clipFrom = span.clipFrom;
    const std::vector<double> part = Slice(clip, span.clipFrom, span.clipTo - span.clipFrom);
    piece.samples = Delayed(part, BestDelay(x, piece.recordingStart, part));
    event.pieces.push_back(std::move(piece));
  }

  // Blocks are 20 ms; the clip's true end is found to the millisecond, so
  // that what follows it can be told to follow, not to overlap: its last
  // milliseconds go while the recording there is silent, or is not the clip
  // (more than a quarter of it left over once the clip is taken away: a
  // clip whose tail was lost, followed at once by speech). At most three
  // blocks go this way.
  {
    const std::size_t window0 = static_cast<std::size_t>(rate / 200);
    while (event.pieces.size() > 1 && event.pieces.back().samples.size() < 2 * window0) event.pieces.pop_back();
    Piece& last = event.pieces.back();
    const std::size_t step = static_cast<std::size_t>(rate / 1000);
    const std::size_t window = static_cast<std::size_t>(rate / 200);
    // The clip's level over all of it: its tail may be the part missing.
    double dot = 0, energy = 0;
    for (const Piece& piece : event.pieces) {
      dot += Dot(x, piece.recordingStart, piece.samples, 0, piece.samples.size());
      energy += Energy(piece.samples, 0, piece.samples.size());
    }
    const double gain = energy > 0 ? dot / energy : 0.0;
    std::size_t trimmed = 0;
    while (last.samples.size() >= window + step && trimmed < 3 * block) {
      const std::size_t from = last.samples.size() - window;
      const double recorded = Energy(x, last.recordingStart + from, window);
      double left = 0;
      for (std::size_t i = from; i < last.samples.size(); ++i) {
        const double r = x[last.recordingStart + i] - gain * last.samples[i];
        left += r * r;
      }
      if (recorded >= loudest * 1e-5 && left <= 0.25 * recorded) break;
      last.samples.resize(last.samples.size() - step);
      trimmed += step;
    }
    heard = last.clipFrom + last.samples.size();
  }
  for (const Piece& piece : event.pieces) CountSilentHoles(x, piece, rate, event);

  const Piece& last = event.pieces.back();
  event.start = event.pieces.front().recordingStart;
  event.end = last.recordingStart + last.samples.size();
  event.heard = heard;
  event.nominal = clip.size();
  double dot = 0, pieceEnergy = 0, recordingEnergy = 0;
  for (const Piece& piece : event.pieces) {
    dot += Dot(x, piece.recordingStart, piece.samples, 0, piece.samples.size());
    pieceEnergy += Energy(piece.samples, 0, piece.samples.size());
    recordingEnergy += Energy(x, piece.recordingStart, piece.samples.size());
  }
  event.gain = pieceEnergy > 0 ? dot / pieceEnergy : 0.0;
  // Against the whole clip: what was not heard of it counts against the
  // match, and so does whatever the recording held where it should have.
  const double missingRecording = Energy(x, event.end, clip.size() - heard);
  const double clipEnergy = Energy(clip, 0, clip.size());
  event.correlation = recordingEnergy + missingRecording > 0 && clipEnergy > 0
                          ? dot / std::sqrt((recordingEnergy + missingRecording) * clipEnergy)
                          : 0.0;
  double residual = 0;
  for (const Piece& piece : event.pieces) {
    for (std::size_t i = 0; i < piece.samples.size() && piece.recordingStart + i < x.size(); ++i) {
      const double r = x[piece.recordingStart + i] - event.gain * piece.samples[i];
      residual += r * r;
    }
  }
  event.residualDb = 10 * std::log10(std::max(residual, 1e-20) / std::max(recordingEnergy, 1e-20));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  double minCorrelation = 0.4;
  double silenceDb = -55.0;
  double joinGap = 0.25;
  int fullRate = 0;
  std::string mapPath;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> double {
      if (i + 1 >= argc) Die("no value after " + arg);
      return std::atof(argv[++i]);
    };
    if (arg == "--min-correlation")
      minCorrelation = value();
    else if (arg == "--silence-db")
      silenceDb = value();
    else if (arg == "--join-gap")
      joinGap = value();
    else if (arg == "--splice") {
      if (i + 4 >= argc) Die("usage: find_clips --splice RATE RECORDING SPLICED MAP");
      return SpliceZeroRuns(std::atoi(argv[i + 1]), argv[i + 2], argv[i + 3], argv[i + 4]);
    } else if (arg == "--map") {
      fullRate = static_cast<int>(value());
      if (i + 1 >= argc) Die("no file after --map RATE");
      mapPath = argv[++i];
    }
    else
      positional.push_back(arg);
  }
  if (positional.size() < 3) Die("usage: find_clips [options] RATE RECORDING NAME=CLIP...");
  const int rate = std::atoi(positional[0].c_str());
  if (rate <= 0) Die("bad rate " + positional[0]);
  const std::vector<double> x = ReadRaw(positional[1]);
  std::vector<Clip> clips;
  for (std::size_t i = 2; i < positional.size(); ++i) {
    const std::size_t equals = positional[i].find('=');
    if (equals == std::string::npos) Die("expected NAME=CLIP, got " + positional[i]);
    clips.push_back({positional[i].substr(0, equals), ReadRaw(positional[i].substr(equals + 1))});
    if (clips.back().samples.empty()) Die("empty clip " + positional[i]);
  }

  std::size_t longest = 0;
  for (const Clip& clip : clips) longest = std::max(longest, clip.samples.size());
  std::size_t n = 1;
  while (n < x.size() + longest) n <<= 1;
  std::vector<Complex> recordingSpectrum(n);
  for (std::size_t i = 0; i < x.size(); ++i) recordingSpectrum[i] = x[i];
  Fft(recordingSpectrum, false);
  std::vector<double> prefixEnergy(x.size() + 1);
  for (std::size_t i = 0; i < x.size(); ++i) prefixEnergy[i + 1] = prefixEnergy[i] + x[i] * x[i];

  // Candidate matches of every clip: local peaks of the correlation, at
  // most one within half the probe's length. Each clip is looked for whole,
  // and by its first half second alone: a clip cut short, or broken up, and
  // followed at once by loud speech matches too weakly as a whole to be
  // found, and should be reported as such rather than as more speech. The
  // shorter probe has to match more closely to count.
  struct Candidate {
    std::size_t clip;
    std::size_t start;
    double correlation;
  };
  std::vector<Candidate> candidates;
  const std::size_t leading = static_cast<std::size_t>(rate / 2);
  std::vector<std::vector<double>> wholeNccs(clips.size());
  for (std::size_t k = 0; k < clips.size(); ++k) {
    const std::vector<double>& whole = clips[k].samples;
    struct Probe {
      std::vector<double> samples;
      double threshold;
      std::size_t offset;  // where in the clip the probe begins
    };
    std::vector<Probe> probes{{whole, minCorrelation, 0}};
    // A clip broken up at a joint or two may match too weakly as a whole,
    // and one that repeats itself best a period off; its first and last
    // stretches (up to half a second, half a short clip) match each on
    // their own, where the clip began and where it ended.
    const std::size_t part = std::min(leading, whole.size() / 2);
    probes.push_back({Slice(whole, 0, part), std::max(minCorrelation, 0.7), 0});
    probes.push_back({Slice(whole, whole.size() - part, part), std::max(minCorrelation, 0.7), whole.size() - part});
    // Candidates are ranked by how well the whole clip matches there: a
    // clip that repeats itself (BUZZER's two waves line up again every half
    // second) matches by its start a period late just as well.
    std::vector<double> wholeNcc;
    for (const Probe& probe : probes) {
      const std::vector<double> ncc = Correlate(recordingSpectrum, prefixEnergy, probe.samples, x.size());
      if (wholeNcc.empty()) wholeNcc = ncc;
      const std::size_t half = std::max<std::size_t>(1, probe.samples.size() / 2);
      for (std::size_t t = probe.offset; t < ncc.size(); ++t) {
        if (ncc[t] < probe.threshold) continue;
        const std::size_t from = t > half ? t - half : 0;
        const std::size_t to = std::min(ncc.size(), t + half + 1);
        bool peak = true;
        for (std::size_t u = from; u < to && peak; ++u)
          if (ncc[u] > ncc[t] || (ncc[u] == ncc[t] && u < t)) peak = false;
        if (peak) candidates.push_back({k, t - probe.offset, wholeNcc[t - probe.offset]});
      }
    }
    wholeNccs[k] = std::move(wholeNcc);
  }

  std::vector<Splice> splices;
  if (!mapPath.empty()) {
    if (fullRate <= 0) Die("bad rate after --map");
    splices = ReadSplices(mapPath);
  }
  const double scale = fullRate > 0 ? static_cast<double>(fullRate) / rate : 1.0;
  std::vector<Joint> joints;
  for (const Splice& splice : splices)
    joints.push_back({static_cast<std::size_t>(static_cast<double>(splice.at) / scale + 0.5),
                      static_cast<std::size_t>(std::ceil(static_cast<double>(splice.length) / scale))});

  // Every candidate is followed, and the ones heard longest are kept first;
  // a candidate over a clip already kept is the same sound matched by the
  // wrong clip, or at the wrong place: by a sidelobe, by a clip that
  // repeats itself a period late, or up to where the clip broke up.
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.correlation > b.correlation; });
  std::vector<Event> followed;
  auto follow = [&](const Candidate& candidate) {
    for (const Event& other : followed)
      if (other.name == clips[candidate.clip].name && other.start + rate / 500 >= candidate.start &&
          candidate.start + rate / 500 >= other.start)
        return;
    Event event;
    event.isClip = true;
    event.name = clips[candidate.clip].name;
    // A few blocks of a clip lined up by chance, over speech or another
    // clip, are no clip heard: a tenth of it at least.
    if (FollowClip(x, candidate.start, clips[candidate.clip].samples, rate, joints, event) &&
        event.heard * 10 >= event.nominal && event.correlation >= 0.2)
      followed.push_back(std::move(event));
  };
  for (const Candidate& candidate : candidates) follow(candidate);
  // Followed from a period late, a clip that repeats itself seems to stop a
  // period short of its end, where the recording has gone on to something
  // else. A clip found short is followed again from the places where it
  // matches best around where it would have begun to end where the recording
  // does, and up to half a second earlier: a few of each, at least 10 ms
  // apart (a buzz matches itself at every turn of its wave near each).
  auto bestPlaces = [&](std::size_t k, std::size_t from, std::size_t to, std::size_t count) {
    const std::vector<double>& ncc = wholeNccs[k];
    to = std::min(to, ncc.size() - 1);
    std::vector<Candidate> peaks;
    for (std::size_t t = std::max<std::size_t>(from, 1); t < to; ++t)
      if (ncc[t] >= minCorrelation && ncc[t] > ncc[t - 1] && ncc[t] >= ncc[t + 1]) peaks.push_back({k, t, ncc[t]});
    std::sort(peaks.begin(), peaks.end(),
              [](const Candidate& a, const Candidate& b) { return a.correlation > b.correlation; });
    std::vector<Candidate> apart;
    for (const Candidate& peak : peaks) {
      bool near = false;
      for (const Candidate& taken : apart)
        if (peak.start + rate / 100 > taken.start && taken.start + rate / 100 > peak.start) near = true;
      if (!near) apart.push_back(peak);
      if (apart.size() == count) break;
    }
    return apart;
  };
  const std::size_t firstFollowed = followed.size();
  for (std::size_t e = 0; e < firstFollowed; ++e) {
    const Event& event = followed[e];
    if (event.heard * 100 >= event.nominal * 97) continue;
    std::size_t k = 0;
    while (clips[k].name != event.name) ++k;
    const std::size_t start = event.start;
    const std::size_t missing = event.nominal - event.heard;
    const std::size_t around = start > missing ? start - missing : 0;
    const std::size_t reach = static_cast<std::size_t>(rate / 16);
    std::vector<Candidate> places = bestPlaces(k, around > reach ? around - reach : 0, around + reach, 3);
    for (const Candidate& place : bestPlaces(k, start > leading ? start - leading : 0, start, 3)) places.push_back(place);
    for (const Candidate& place : places) follow(place);
  }
  std::stable_sort(followed.begin(), followed.end(), [](const Event& a, const Event& b) {
    return a.heard * a.correlation > b.heard * b.correlation;
  });
  // Clips whose quiet between them was spliced out touch, and a clip's end
  // is known only to a few blocks of its silent tail: a few tens of
  // milliseconds in common is two clips, more is one sound matched twice.
  const std::size_t touching = static_cast<std::size_t>(3 * rate / 50);
  std::vector<Event> events;
  for (Event& event : followed) {
    bool overlaps = false;
    for (const Event& taken : events)
      if (std::min(event.end, taken.end) > std::max(event.start, taken.start) + touching) overlaps = true;
    if (!overlaps) events.push_back(std::move(event));
  }

  // Other sound is what is left of the recording once every clip found is
  // taken away. Over a clip, what is left is judged against the clip's own
  // level: the resamplers on the way (the game's, the server's, sox's) leave
  // a faint copy of any clip behind, but speech over a clip stands out from
  // it. Frames are 5 ms; quiet shorter than the join gap does not split a
  // sound.
  std::vector<double> model(x.size(), 0.0);
  for (const Event& event : events)
    for (const Piece& piece : event.pieces)
      for (std::size_t i = 0; i < piece.samples.size() && piece.recordingStart + i < x.size(); ++i)
        model[piece.recordingStart + i] = event.gain * piece.samples[i];
  const std::size_t frame = static_cast<std::size_t>(rate / 200);
  const double silence = std::pow(10.0, silenceDb / 10.0) * static_cast<double>(frame);
  const std::size_t frames = x.size() / frame;
  std::vector<double> leftEnergy(frames), clipEnergy(frames), recordedEnergy(frames);
  for (std::size_t f = 0; f < frames; ++f) {
    for (std::size_t i = f * frame; i < (f + 1) * frame; ++i) {
      const double left = x[i] - model[i];
      leftEnergy[f] += left * left;
      clipEnergy[f] += model[i] * model[i];
      recordedEnergy[f] += x[i] * x[i];
    }
  }
  // A clip that broke up is modelled roughly around its gaps: other sound
  // over it must stand out more to count. (The clip fails for its dropouts
  // anyway.)
  std::vector<double> share(frames, 0.1);
  for (const Event& event : events)
    if (event.dropouts > 0)
      for (std::size_t f = event.start / frame; f <= event.end / frame && f < frames; ++f) share[f] = 0.5;
  std::vector<bool> loud(frames, false);
  for (std::size_t f = 0; f < frames; ++f) {
    // A clip's neighbouring frames count too: its edges are smeared a little.
    double nearbyClip = clipEnergy[f];
    if (f > 0) nearbyClip = std::max(nearbyClip, clipEnergy[f - 1]);
    if (f + 1 < frames) nearbyClip = std::max(nearbyClip, clipEnergy[f + 1]);
    // Where the clip dropped out, what is left is the missing clip, not
    // another sound: the recording itself is quieter than that.
    loud[f] = leftEnergy[f] > std::max(silence, share[f] * nearbyClip) && recordedEnergy[f] > 0.5 * leftEnergy[f];
  }
  const std::size_t joinFrames = static_cast<std::size_t>(joinGap * rate / static_cast<double>(frame) + 0.5);
  std::vector<Event> sounds;
  for (std::size_t f = 0; f < frames; ++f) {
    if (!loud[f]) continue;
    const std::size_t from = f * frame;
    const std::size_t to = from + frame;
    if (!sounds.empty() && from <= sounds.back().end + joinFrames * frame) {
      // Quiet inside speech joins it, but not across the start of a clip:
      // speech before a clip and speech after it are two sounds.
      bool clipBetween = false;
      for (const Event& event : events)
        if (event.start >= sounds.back().end && event.start < from) clipBetween = true;
      if (!clipBetween) {
        sounds.back().end = to;
        continue;
      }
    }
    Event sound;
    sound.start = from;
    sound.end = to;
    sounds.push_back(sound);
  }
  // A few milliseconds of sound at a clip's very edge, or inside it, is the
  // clip's own edge smeared by the resamplers on the way (sharper where a
  // clip stops abruptly, or breaks up), not another sound.
  const std::size_t edge = static_cast<std::size_t>(rate / 50);
  std::erase_if(sounds, [&](const Event& sound) {
    if (sound.end - sound.start >= edge) return false;
    for (const Event& event : events)
      if (sound.start < event.end + edge && event.start < sound.end + edge) return true;
    return false;
  });
  events.insert(events.end(), sounds.begin(), sounds.end());
  std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.start < b.start; });

  const auto seconds = [rate](std::size_t samples) { return static_cast<double>(samples) / rate; };
  // Times back on the recording's own clock, and the runs taken out inside
  // a clip counted as its dropouts.
  // A clip found a little early over the quiet before it (its first
  // milliseconds fade in from nothing) starts after that quiet, which is no
  // dropout; elsewhere a couple of milliseconds are the resamplers' smear.
  const std::size_t slack = static_cast<std::size_t>(fullRate / 500);         // 2 ms
  const std::size_t startSlack = static_cast<std::size_t>(fullRate / 50);     // 20 ms
  const auto place = [&](std::size_t at, bool isStart, bool isClip) {
    if (splices.empty()) return seconds(at);
    return static_cast<double>(Unspliced(splices, static_cast<std::size_t>(at * scale), isStart,
                                         isStart && isClip ? startSlack : slack)) /
           fullRate;
  };
  for (Event& event : events) {
    if (!event.isClip || splices.empty()) continue;
    event.dropouts = 0;
    event.longestDropout = 0;
    const std::size_t from = static_cast<std::size_t>(event.start * scale) + startSlack;
    const std::size_t to = static_cast<std::size_t>(event.end * scale);
    for (const Splice& splice : splices) {
      if (splice.at <= from || splice.at + slack >= to) continue;
      ++event.dropouts;
      event.longestDropout =
          std::max(event.longestDropout, static_cast<std::size_t>(static_cast<double>(splice.length) / scale + 0.5));
    }
  }
  for (const Event& event : events) {
    const double start = place(event.start, true, event.isClip);
    const double end = place(event.end, false, event.isClip);
    if (event.isClip) {
      std::printf("clip %s %.3f %.3f %.3f %.3f %.3f %.1f %d %.3f\n", event.name.c_str(), start, end,
                  seconds(event.heard), seconds(event.nominal), event.correlation, event.residualDb, event.dropouts,
                  seconds(event.longestDropout));
    } else {
      std::printf("sound - %.3f %.3f %.3f\n", start, end, end - start);
    }
  }
  return 0;
}
