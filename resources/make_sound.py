#!/usr/bin/env python3
"""Writes sound.wav, the remote's click: 40 ms of a 2 kHz tone dying away, 22050 Hz 16-bit mono."""
import math
import struct
import wave
from pathlib import Path

RATE = 22050
samples = [int(12000 * math.exp(-i / (RATE * 0.008)) * math.sin(2 * math.pi * 2000 * i / RATE))
           for i in range(int(RATE * 0.04))]
with wave.open(str(Path(__file__).with_name("sound.wav")), "wb") as out:
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(RATE)
    out.writeframes(struct.pack(f"<{len(samples)}h", *samples))
