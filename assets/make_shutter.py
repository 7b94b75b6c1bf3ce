"""Writes shutter.wav: the camera-shutter click played after each capture.

The program plays this image straight from memory, so its layout is fixed to
the byte: RIFF/WAVE, Microsoft ADPCM mono at 11025 Hz with 256-byte blocks of
500 samples and the seven standard coefficient pairs, then "fact" (4544
samples), "data" (2332 bytes: nine full blocks and one short block of 44
samples) and a "smpl" chunk, 2490 bytes in all. The encoder is here rather than
in sox so that the short last block and the chunk order come out exactly so.

The click is synthesised: a curtain-open and a curtain-close transient, each a
burst of band-passed noise over a damped mechanical ring and a soft low thump.

    python3 make_shutter.py OUT.wav [OUT_PCM.wav]

The optional second file is the 16-bit PCM original, for listening or for
comparing against a decoder.
"""

import math
import os
import struct
import sys

RATE = 11025
SAMPLES = 4544
BLOCK_ALIGN = 256
SAMPLES_PER_BLOCK = 500
COEFFS = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]
ADAPT = [230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230]
TOTAL_BYTES = 2490
DATA_BYTES = 2332


class XorShift:
    """Tiny fixed generator so the noise is identical on every run and Python version."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def uniform(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x / 2147483648.0 - 1.0


def bandpass(signal, centre, q):
    """RBJ constant-peak band-pass biquad."""
    w = 2 * math.pi * centre / RATE
    alpha = math.sin(w) / (2 * q)
    a0 = 1 + alpha
    b0, b2 = alpha / a0, -alpha / a0
    a1, a2 = -2 * math.cos(w) / a0, (1 - alpha) / a0
    x1 = x2 = y1 = y2 = 0.0
    out = []
    for x in signal:
        y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1, y2, y1 = x1, x, y1, y
        out.append(y)
    return out


def synthesise():
    rng = XorShift(0x1A2B3C4D)
    noise = [rng.uniform() for _ in range(SAMPLES)]
    bright = bandpass(noise, 3200, 0.9)
    body = bandpass(noise, 1300, 1.4)
    out = [0.0] * SAMPLES

    def event(start_s, gain, decay_s, ring_hz, thump_hz):
        start = int(start_s * RATE)
        for i in range(start, SAMPLES):
            t = (i - start) / RATE
            env = math.exp(-t / decay_s)
            attack = min(1.0, t / 0.0006)
            s = 0.9 * bright[i] * env + 0.7 * body[i] * math.exp(-t / (decay_s * 1.8))
            s += 0.25 * math.sin(2 * math.pi * ring_hz * t) * math.exp(-t / 0.03)
            s += 0.35 * math.sin(2 * math.pi * thump_hz * t) * math.exp(-t / 0.018)
            out[i] += gain * attack * s

    event(0.010, 1.00, 0.012, 2350, 180)   # first curtain
    event(0.105, 0.85, 0.016, 2050, 150)   # second curtain, a touch duller
    event(0.118, 0.20, 0.030, 900, 120)    # mirror settling

    peak = max(abs(s) for s in out)
    scale = 0.72 * 32767 / peak
    # Fade the last 40 ms so the sound ends in silence whatever the tails do.
    fade = int(0.04 * RATE)
    pcm = []
    for i, s in enumerate(out):
        g = min(1.0, (SAMPLES - 1 - i) / fade)
        pcm.append(max(-32768, min(32767, int(round(s * scale * g)))))
    return pcm


def clamp16(v):
    return -32768 if v < -32768 else 32767 if v > 32767 else v


def encode_run(samples, coef, delta):
    """Encode samples[2:] after a header (samp2, samp1 = samples[0], samples[1]).

    Returns (squared error, nibbles)."""
    c1, c2 = coef
    s2, s1 = samples[0], samples[1]
    err_sum = 0
    nibbles = []
    for s in samples[2:]:
        pred = (s1 * c1 + s2 * c2) >> 8
        diff = s - pred
        q = int(round(diff / delta)) if delta else 0
        q = max(-8, min(7, q))
        new = clamp16(pred + q * delta)
        err_sum += (s - new) ** 2
        nib = q & 0x0F
        nibbles.append(nib)
        s2, s1 = s1, new
        delta = max(16, (ADAPT[nib] * delta) >> 8)
    return err_sum, nibbles


def encode_block(samples):
    """One mono block: predictor, delta, samp1, samp2, then nibbles high first."""
    best = None
    for index, coef in enumerate(COEFFS):
        for delta in (16, 32, 64, 128, 256, 512, 1024, 2048):
            err, nibbles = encode_run(samples, coef, delta)
            if best is None or err < best[0]:
                best = (err, index, delta, nibbles)
    _, index, delta, nibbles = best
    out = bytearray(struct.pack("<Bhhh", index, delta, samples[1], samples[0]))
    if len(nibbles) % 2:
        nibbles = nibbles + [0]
    for i in range(0, len(nibbles), 2):
        out.append(nibbles[i] << 4 | nibbles[i + 1])
    return bytes(out)


def decode_data(data, total):
    """Reference decoder, used to check what a player will hear."""
    out = []
    for start in range(0, len(data), BLOCK_ALIGN):
        block = data[start:start + BLOCK_ALIGN]
        index, delta, s1, s2 = struct.unpack_from("<Bhhh", block, 0)
        c1, c2 = COEFFS[index]
        out += [s2, s1]
        for byte in block[7:]:
            for nib in (byte >> 4, byte & 0x0F):
                q = nib - 16 if nib & 8 else nib
                pred = (s1 * c1 + s2 * c2) >> 8
                new = clamp16(pred + q * delta)
                out.append(new)
                s2, s1 = s1, new
                delta = max(16, (ADAPT[nib] * delta) >> 8)
    return out[:total]


def chunk(tag, payload):
    return tag + struct.pack("<I", len(payload)) + payload


def wave_bytes(pcm):
    data = b"".join(encode_block(pcm[i:i + SAMPLES_PER_BLOCK])
                    for i in range(0, len(pcm), SAMPLES_PER_BLOCK))
    avg_bytes = RATE * BLOCK_ALIGN // SAMPLES_PER_BLOCK
    fmt = struct.pack("<HHIIHHHHH", 2, 1, RATE, avg_bytes, BLOCK_ALIGN, 4, 32,
                      SAMPLES_PER_BLOCK, len(COEFFS))
    fmt += b"".join(struct.pack("<hh", a, b) for a, b in COEFFS)
    fact = struct.pack("<I", len(pcm))
    # Sampler chunk: period in ns, unity note middle C, one forward loop over
    # the whole sound played once.
    smpl = struct.pack("<9I", 0, 0, 1000000000 // RATE, 60, 0, 0, 0, 1, 0)
    smpl += struct.pack("<6I", 0, 0, 0, len(pcm) - 1, 0, 1)
    body = b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"fact", fact) + chunk(b"data", data) \
        + chunk(b"smpl", smpl)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def check(wav, pcm):
    """Asserts every field of the fixed layout, and that the sound survives decoding."""
    assert len(wav) == TOTAL_BYTES, len(wav)
    assert wav[:4] == b"RIFF" and wav[8:12] == b"WAVE"
    assert struct.unpack_from("<I", wav, 4)[0] == TOTAL_BYTES - 8
    chunks, pos = [], 12
    while pos < len(wav):
        tag, size = wav[pos:pos + 4], struct.unpack_from("<I", wav, pos + 4)[0]
        chunks.append((tag, size, wav[pos + 8:pos + 8 + size]))
        pos += 8 + size
    assert pos == len(wav)
    assert [(t, s) for t, s, _ in chunks] == [
        (b"fmt ", 50), (b"fact", 4), (b"data", DATA_BYTES), (b"smpl", 60)], chunks
    fmt = chunks[0][2]
    assert struct.unpack_from("<HHIIHHHHH", fmt, 0) == (2, 1, 11025, 5644, 256, 4, 32, 500, 7)
    assert [struct.unpack_from("<hh", fmt, 22 + 4 * i) for i in range(7)] == COEFFS
    assert struct.unpack("<I", chunks[1][2])[0] == SAMPLES
    data = chunks[2][2]
    full, rest = divmod(len(data), BLOCK_ALIGN)
    assert full * SAMPLES_PER_BLOCK + 2 + (rest - 7) * 2 == SAMPLES
    for start in range(0, len(data), BLOCK_ALIGN):
        assert data[start] < 7, "predictor index"
        assert struct.unpack_from("<h", data, start + 1)[0] >= 16, "initial delta"
    decoded = decode_data(data, SAMPLES)
    assert len(decoded) == SAMPLES
    signal = sum(s * s for s in pcm)
    noise = sum((a - b) ** 2 for a, b in zip(pcm, decoded))
    snr = 10 * math.log10(signal / max(noise, 1))
    assert snr > 12, "ADPCM round trip too lossy: %.1f dB" % snr
    return snr


def write_atomic(path, payload):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(payload)
    os.replace(tmp, path)


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write("usage: make_shutter.py OUT.wav [OUT_PCM.wav]\n")
        return 2
    pcm = synthesise()
    wav = wave_bytes(pcm)
    snr = check(wav, pcm)
    write_atomic(argv[1], wav)
    if len(argv) == 3:
        raw = struct.pack("<%dh" % len(pcm), *pcm)
        fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
        write_atomic(argv[2], b"RIFF" + struct.pack("<I", 4 + 8 + 16 + 8 + len(raw)) + b"WAVE"
                     + chunk(b"fmt ", fmt) + chunk(b"data", raw))
    sys.stdout.write("%s: %d bytes, ADPCM round trip %.1f dB\n" % (argv[1], len(wav), snr))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
