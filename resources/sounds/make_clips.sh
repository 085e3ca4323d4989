#!/usr/bin/env bash
# Regenerates Keelmark's five sound clips from nothing but sox's synth effect.
#
#   bash resources/sounds/make_clips.sh      (from any directory)
#
# Every clip is built from a few synthesised layers that are mixed, cut to an
# exact number of sample frames, given a very short fade-in (so the attack
# lands within the first few milliseconds) and a short fade-out over the tail,
# then peak-normalised to -2 dBFS.  The game and its tests locate the clips by
# their waveform and envelope, so:
#   * lengths are exact to the frame (pad + trim in sample units);
#   * every layer runs the whole length or overlaps the next one, so there is
#     never a silent gap inside a clip;
#   * `sox -R` seeds the noise generators identically on every run and `-D`
#     turns dithering off, so re-running this script rewrites byte-identical
#     files and git only sees a change when the sound really changed.
# Plain 8/16-bit mono/stereo PCM WAV is what sox writes here: a 16-byte fmt
# chunk, WAVE_FORMAT_PCM, no LIST chunk.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"

work="$(mktemp -d "${TMPDIR:-/tmp}/keelmark-clips.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# -R: repeatable noise; -D: no dither; -V1: only report real failures.
SOX=(sox -R -D -V1)

# layer NAME RATE CHANNELS EFFECT...
#   Synthesises one ingredient into the scratch folder in sox's own lossless
#   format, at the rate and channel count of the clip it belongs to, so the
#   final mix needs no resampling.  synth writes at full scale, so chains that
#   filter or distort start with a "gain -10" of headroom; every layer is then
#   peak-normalised to -1 dBFS, which makes the -v figures in finish() plain
#   relative levels.
layer() {
    local name=$1 rate=$2 channels=$3
    shift 3
    "${SOX[@]}" -r "$rate" -c "$channels" -n "$work/$name.sox" "$@" gain -n -1
}

# finish OUT FORMAT FRAMES FADE_OUT_SECONDS [-v VOL] LAYER [[-v VOL] LAYER ...]
#   Mixes the named layers with the given volumes and writes the final WAV:
#   exactly FRAMES frames, 2 ms fade-in, FADE_OUT_SECONDS fade-out at the very
#   end, peak at -2 dBFS.  FORMAT is u8 (unsigned 8-bit) or s16 (signed 16-bit).
#   The volumes of a mix should add up to no more than 1 so that summing the
#   layers cannot clip before the final normalisation.  Every clip has at
#   least one layer lasting the full length, so trim only ever cuts; the
#   length is checked afterwards all the same.
finish() {
    local out=$1 format=$2 frames=$3 fade_out=$4
    shift 4
    local encoding=(-e unsigned-integer -b 8)
    if [[ $format == s16 ]]; then
        encoding=(-e signed-integer -b 16)
    fi

    local inputs=() count=0
    while (($#)); do
        if [[ $1 == -v ]]; then
            inputs+=(-v "$2")
            shift 2
        fi
        inputs+=("$work/$1.sox")
        count=$((count + 1))
        shift
    done
    local mix=()
    if ((count > 1)); then
        mix=(-m)
    fi

    "${SOX[@]}" "${mix[@]}" "${inputs[@]}" "${encoding[@]}" "$out" \
        trim 0 "${frames}s" \
        fade q 0.002 "${frames}s" "$fade_out" \
        gain -n -2

    local got
    got=$(soxi -s "$out")
    if ((got != frames)); then
        echo "make_clips.sh: $out has $got frames, expected $frames" >&2
        exit 1
    fi
}

# --- DROP.wav: a falling shell's whistle -------------------------------------
# A pure tone gliding exponentially from 2500 Hz down to 400 Hz (the pitch
# falls a fixed number of semitones per second, which is how a descending
# whistle is heard), a quiet octave overtone to give it the edge of air over
# a fin, a gentle flutter, and a faint band of wind noise underneath.  It
# deliberately stops short of any impact: the HIT or MISS clip that follows
# provides the landing.  22050 Hz, mono, unsigned 8-bit, 52373 frames.
make_drop() {
    local rate=22050 frames=52373
    layer drop_tone  $rate 1 synth "${frames}s" sine 2500/400 tremolo 7 12
    layer drop_over  $rate 1 synth "${frames}s" sine 5000/800
    layer drop_air   $rate 1 synth "${frames}s" pinknoise \
        gain -10 highpass 900 lowpass 3500 tremolo 3 30
    finish DROP.wav u8 $frames 0.16 \
        -v 0.82 drop_tone -v 0.10 drop_over -v 0.08 drop_air
}

# --- HIT.wav: an explosion ----------------------------------------------------
# Four overlapping layers give the classic shape of a blast: a bright, clipped
# white-noise crack for the first quarter second, a low thump gliding from
# 90 Hz down to 35 Hz, a heavy brown-noise boom that dies away over about
# 1.5 s, and a quieter rolling rumble that carries on to the end so the tail
# never drops out.  22050 Hz, mono, signed 16-bit, 49840 frames.
make_hit() {
    local rate=22050 frames=49840
    # Brown noise wanders far below anything audible; the 30-35 Hz
    # high-passes keep that drift from eating the level budget.
    layer hit_crack  $rate 1 synth 0.30 whitenoise gain -10 overdrive 22 \
        gain -6 lowpass 6000 fade l 0 0.30 0.28
    layer hit_thump  $rate 1 synth 0.60 sine 90/35 fade l 0 0.60 0.55
    layer hit_boom   $rate 1 synth 1.60 brownnoise gain -10 highpass 30 \
        lowpass 500 fade l 0 1.60 1.50
    layer hit_rumble $rate 1 synth "${frames}s" brownnoise gain -10 \
        highpass 35 lowpass 250 tremolo 4 45
    finish HIT.wav s16 $frames 0.18 \
        -v 0.25 hit_crack -v 0.20 hit_thump -v 0.25 hit_boom -v 0.30 hit_rumble
}

# --- MISS.wav: a splash into the sea ------------------------------------------
# Stereo so the spray feels wide: each channel gets its own noise.  A short
# low "plop" as the shell breaks the surface, a bright band-passed noise burst
# for the sheet of water thrown up, then fizzing high-frequency hiss that
# thins out as the spray falls back, with a faint steady layer of it kept to
# the end.  22050 Hz, stereo, unsigned 8-bit, 43001 frames.
make_miss() {
    local rate=22050 frames=43001
    layer miss_plop  $rate 2 synth 0.15 sine 320/90 fade q 0 0.15 0.12
    layer miss_burst $rate 2 synth 0.60 whitenoise gain -10 highpass 700 \
        lowpass 7000 fade t 0 0.60 0.55
    layer miss_fizz  $rate 2 synth 1.40 whitenoise gain -10 highpass 2500 \
        tremolo 11 40 fade l 0 1.40 1.30
    layer miss_hiss  $rate 2 synth "${frames}s" whitenoise gain -10 \
        highpass 3000 tremolo 7 35
    finish MISS.wav u8 $frames 0.15 \
        -v 0.22 miss_plop -v 0.38 miss_burst -v 0.22 miss_fizz -v 0.18 miss_hiss
}

# --- SINK.wav: a short sinking gurgle -----------------------------------------
# A run of short rising sine chirps (that upward flick is what makes a tone
# read as a bubble) whose starting pitch steps down from about 300 Hz to
# 90 Hz, so the whole gurgle sinks.  Chirp lengths vary a little so it does
# not sound like a machine.  A wobbling low brown-noise bed underneath fills
# the instants between bubbles.  11025 Hz, mono, unsigned 8-bit, 7400 frames.
make_sink() {
    local rate=11025 frames=7400
    # start-Hz:length-in-frames for each bubble; lengths add up past 7400 so
    # the trim in finish() only ever cuts, never pads.
    local bubbles=(
        300:560 270:480 285:520 240:600 225:470 205:560 190:500
        170:580 150:520 140:560 122:600 110:540 98:620 90:700
    )
    local list=() i=0 spec start len
    for spec in "${bubbles[@]}"; do
        start=${spec%%:*}
        len=${spec##*:}
        layer "sink_b$i" $rate 1 synth "${len}s" sine "$start:$((start * 8 / 5))" \
            fade h 0.004 "${len}s" 0.012
        list+=("$work/sink_b$i.sox")
        i=$((i + 1))
    done
    "${SOX[@]}" "${list[@]}" "$work/sink_chain.sox"
    layer sink_bed $rate 1 synth "${frames}s" brownnoise gain -10 \
        highpass 40 lowpass 350 tremolo 13 60
    finish SINK.wav u8 $frames 0.05 \
        -v 0.75 sink_chain -v 0.25 sink_bed
}

# --- BUZZER.wav: the "refused" buzz -------------------------------------------
# Two slightly detuned low waves (a 110 Hz square and a 116 Hz sawtooth) beat
# against each other, then are overdriven hard: a rasping, unmistakably
# non-speech "no".  Clipping is intended here.  The band-limit keeps the
# 8-bit, 11025 Hz file from turning into pure fizz.
# 11025 Hz, mono, unsigned 8-bit, 19492 frames.
make_buzzer() {
    local rate=11025 frames=19492
    layer buzz_square $rate 1 synth "${frames}s" square 110
    layer buzz_saw    $rate 1 synth "${frames}s" sawtooth 116
    "${SOX[@]}" -m -v 0.5 "$work/buzz_square.sox" -v 0.5 "$work/buzz_saw.sox" \
        "$work/buzz_raw.sox" overdrive 30 10 gain -6 lowpass 3800
    finish BUZZER.wav u8 $frames 0.10 buzz_raw
}

make_drop
make_hit
make_miss
make_sink
make_buzzer

for clip in DROP HIT MISS SINK BUZZER; do
    printf '%-10s %s ch, %s Hz, %s, %s frames\n' "$clip.wav" \
        "$(soxi -c "$clip.wav")" "$(soxi -r "$clip.wav")" \
        "$(soxi -e "$clip.wav") $(soxi -b "$clip.wav")-bit" \
        "$(soxi -s "$clip.wav")"
done
