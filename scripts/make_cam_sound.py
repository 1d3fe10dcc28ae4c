#!/usr/bin/env python3
"""Synthesises sounds/cam.wav, the camera click that announces a snapshot.

A shutter sound in two strokes (the blade opening, then closing), each a short
burst of filtered noise with a damped ring. Deterministic: the same file every
run. Usage: scripts/make_cam_sound.py [OUTPUT]
"""
import math
import random
import struct
import sys
import wave
from pathlib import Path

RATE = 44100
LENGTH = 0.28  # seconds


def stroke(samples, start, noise_decay, ring_hz, ring_decay, thump_hz, gain, rng):
    low = 0.0
    for i in range(int(start * RATE), len(samples)):
        t = i / RATE - start
        if t > 0.08:
            break
        white = rng.uniform(-1.0, 1.0)
        low += 0.35 * (white - low)  # one-pole low-pass: less hiss
        noise = (white - low) * 0.6 + low * 0.8
        value = noise * math.exp(-t / noise_decay)
        value += 0.7 * math.sin(2 * math.pi * ring_hz * t) * math.exp(-t / ring_decay)
        value += 0.5 * math.sin(2 * math.pi * thump_hz * t) * math.exp(-t / 0.018)
        samples[i] += gain * value


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "sounds" / "cam.wav"
    rng = random.Random(20240601)
    samples = [0.0] * int(RATE * LENGTH)
    stroke(samples, 0.005, 0.0035, 2300, 0.006, 180, 0.8, rng)
    stroke(samples, 0.095, 0.0060, 1500, 0.009, 140, 1.0, rng)
    peak = max(abs(s) for s in samples)
    frames = b"".join(struct.pack("<h", int(round(s / peak * 0.8 * 32767))) for s in samples)
    out.parent.mkdir(parents=True, exist_ok=True)
    with wave.open(str(out), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


if __name__ == "__main__":
    main()
