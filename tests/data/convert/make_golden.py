#!/usr/bin/python3
"""Regenerates the golden raw streams and their expected data files.

An independent reference for tests/convert/tst_convert_golden.cpp, written
from the documented rules, not from convert/: exact
rational arithmetic, each long double operation rounded to a 64-bit mantissa
and the result to a 24-bit one (round to nearest, ties to even), and
FormatFixed from its five steps. Run it from anywhere; it rewrites the files
beside it. Deterministic (fixed seeds).
"""

import math
import os
import random
from fractions import Fraction as F

HERE = os.path.dirname(os.path.abspath(__file__))


def round_binary(x, bits):
    """x rounded to `bits` significant bits, ties to even (no exponent limit)."""
    if x == 0:
        return F(0)
    sign = -1 if x < 0 else 1
    a = abs(x)
    e = a.numerator.bit_length() - a.denominator.bit_length() - bits
    while a / F(2) ** e >= 2 ** bits:
        e += 1
    while a / F(2) ** e < 2 ** (bits - 1):
        e -= 1
    s = a / F(2) ** e
    q, r = divmod(s.numerator, s.denominator)
    if 2 * r > s.denominator or (2 * r == s.denominator and q % 2 == 1):
        q += 1
    return sign * F(q) * F(2) ** e


def ld(x):
    return round_binary(x, 64)


def f32(x):
    y = round_binary(x, 24)
    assert abs(y) < F(2) ** 128
    return y


def wrap32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v >= 1 << 31 else v


C029, C0024 = ld(F(29, 100)), ld(F(24, 10000))
C064, C0248, C003027 = ld(F(64, 100)), ld(F(248, 10000)), ld(F(3027, 1000000))


def lm35(w):
    return f32(ld(F(wrap32(w - 240)) / 10))


def ntc(w):
    return f32(ld(ld(ld(F(w) / 1024) - C029) / C0024))


def tc_ref(w):
    return f32(ld(ld(F(w) / 10) * 2))


def tc_channel(w, ref):
    return f32(ld(ld(F(wrap32(w - 500)) / 10) + ref))


def lm335(w):
    return f32(ld(F(wrap32(w - 2731)) / 10))


def clamp_rh(v):
    return F(0) if not v >= 0 else (F(100) if v > 100 else v)


def rh1(w):
    return clamp_rh(f32(ld(ld(ld(F(w) / 100) - C064) / C0248)))


def rh2(w):
    return clamp_rh(f32(ld(ld(ld(F(w) * C003027) - C064) / C0248)))


def par(w, offset, constant):
    num = ld(ld(F(wrap32(w - offset)) / 50) * 1000)
    v = f32(ld(num / constant))
    return v if v >= 0 else F(0)


def format_fixed(v, P, D, sep=","):
    kept, E = "", 0
    if v != 0:
        a = abs(v)
        E = len(str(a.numerator // a.denominator)) if a >= 1 else 0
        while F(10) ** E <= a:
            E += 1
        while F(10) ** (E - 1) > a:
            E -= 1
        n = round(a * F(10) ** (18 - E))  # half to even; ties cannot occur for floats here
        if n == 10 ** 18:
            n, E = 10 ** 17, E + 1
        digits = str(n)
        assert len(digits) == 18
        k = min(P, E + D)
        if k >= 0:
            kept = digits[:k]
            dropped = int(digits[k]) if k < 18 else 0
            if dropped >= 5:
                value = int(kept) + 1 if kept else 1
                if len(str(value)) > len(kept):
                    kept, E = "1", E + 1
                else:
                    kept = str(value).rjust(len(kept), "0")
            kept = kept.rstrip("0")
    if not kept:
        return "0" + (sep + "0" * D if D > 0 else "")
    sign = "-" if v < 0 else ""
    if E > P:
        return sign + kept[0] + (sep + kept[1:] if len(kept) > 1 else "") + "E" + str(E - 1)
    integer = "0" if E <= 0 else "".join(kept[i] if i < len(kept) else "0" for i in range(E))
    text = sign + integer
    if D > 0:
        decimals = "0" * max(0, -E) + kept[max(E, 0):]
        text += sep + (decimals + "0" * D)[:D]
    return text


def parse_int(text):
    """The piece syntax, only as far as the streams below use it."""
    t = text.lstrip(" ")
    sign = 1
    if t[:1] in "+-":
        sign, t = (-1 if t[0] == "-" else 1), t[1:]
    if t[:1] == "$" or t[:1] in "xX":
        return sign * int(t[1:], 16)
    if t[:2] in ("0x", "0X"):
        return sign * int(t[2:], 16)
    assert t.isdigit(), text
    return sign * int(t)


# ---------------------------------------------------------------- streams

def word_lines(w):
    r = w % 256
    return [str(w // 256), str(r // 100), str((r // 10) % 10), str(r % 10)]


def group4(w):
    c1, r = divmod(w, 256)
    assert 0 <= c1 <= 9
    return "%d%03d" % (c1, r)


def group6(w, first):
    hi, r = divmod(w, 256)
    assert 0 <= hi <= 99
    return "%d%02d%03d" % (first, hi, r)


def two_channel_stream():
    rng = random.Random(20240101)
    lines = ["0", "2", "4", "0", "0", "0", "0", "0"]          # documented: 0,0 and -24,0
    lines += ["1", "0", "0", "0", "0", "2", "4", "0"]         # documented: 1,6 and 0,0
    for w1, w2 in zip([0, 1, 239, 240, 241, 1023], [0, 1, 297, 298, 512, 1023]):
        lines += word_lines(w1) + word_lines(w2)
    lines += [" 1", "+0", "$A", "0x3"] + ["0", "12", "0", "0"]   # 256+100+3 = 359; 1200
    lines += ["-1", "0", "0", "0"] + ["X1", "  0", "-0", "00"]   # -256; 256
    while len(lines) < 4096:
        n = len(lines) // 8
        t1 = 22 + 6 * math.sin(n / 40) + rng.uniform(-0.3, 0.3)
        t2 = t1 - 3 + rng.uniform(-0.5, 0.5)
        lines += word_lines(round(240 + 10 * t1)) + word_lines(round(240 + 10 * t2))
    return lines


def thermocouple_stream():
    rng = random.Random(20240202)
    lines = ["0250" + "0500" * 6]                                  # 50,0 everywhere
    lines.append(group4(250) + "".join(group4(w) for w in [0, 499, 500, 501, 750, 1023]))
    lines.append(group4(1) + "".join(group4(w) for w in [0, 499, 500, 0, 499, 500]))
    for ref in [1, 250, 499, 500, 501, 503, 1023]:
        lines.append(group4(ref) + "0500" * 6)
    lines.append("0250" + "0500" * 6 + " extra text, never read")
    lines.append("0999" + "9999" + "0000" + "1234" + "5678" + "2304" + "3255")
    while len(lines) < 1170:
        ref = rng.randint(100, 150)
        lines.append(group4(ref) + "".join(group4(rng.randint(350, 1000)) for _ in range(6)))
    lines.append("FIN")                                            # line 1171: never read
    return lines


def lm335_stream():
    rng = random.Random(20240303)
    lines = ["010171" + "011165" * 6, "910171" + "911165" * 6]      # documented example
    edge = [0, 2730, 2731, 2732, 2981, 3731, 3736]
    lines.append("".join(group6(w, 0) for w in edge))
    lines.append("".join(group6(w, 5) for w in reversed(edge)) + "123")
    lines.append("099999" + "000000" + "012345" + "050000" + "025600" + "010000" + "030999")
    while len(lines) < 1170:
        lines.append("".join(group6(rng.randint(2831, 3131), rng.randint(0, 9)) for _ in range(7)))
    lines.append("9" * 42)                                          # line 1171: never read
    return lines


def one_channel_stream():
    rng = random.Random(20240404)
    words = [0, 1, 239, 240, 241, 1023, 297, 298, 512, 63, 64, 65, 188, 312, 313, 211, 212, 500,
             9999, 10000, 10240, 256, 1000, 100, 6, 5, 2731, 3736]
    lines = []
    for w in words:
        lines += word_lines(w)
    lines += ["0", "12", "0", "0"]          # 1200, pieces not range-tested
    lines += ["-1", "0", "0", "0"]          # -256
    lines += ["0", "-1", "0", "0"]          # -100
    lines += [" 2", "$0", "x1", "0X0"]      # 512 + 10
    while len(lines) < 4096:
        r = rng.random()
        if r < 0.05:
            w = rng.randint(0, 40000)
        elif r < 0.1:
            w = rng.randint(0, 80)
        else:
            w = rng.randint(150, 700)
        lines += word_lines(w)
    return lines


# ---------------------------------------------------------------- conversions

def words4(lines, first):
    l0, l1, l2, l3 = (parse_int(lines[first + i]) for i in range(4))
    return wrap32(l0 * 256 + l1 * 100 + l2 * 10 + l3)


def convert(model, lines, offset="0", constant=None):
    rows = []
    if model in (0, 1):
        fn = lm35 if model == 0 else ntc
        for n in range(512):
            rows.append([format_fixed(fn(words4(lines, 8 * n)), 4, 1),
                         format_fixed(fn(words4(lines, 8 * n + 4)), 4, 1)])
    elif model in (2, 3):
        size = 4 if model == 2 else 6
        for n in range(1170):
            line = lines[n]
            assert len(line) >= 7 * size
            c = [int(ch) for ch in line[:7 * size]]
            if model == 2:
                w = [c[4 * g] * 256 + c[4 * g + 1] * 100 + c[4 * g + 2] * 10 + c[4 * g + 3] for g in range(7)]
                ref = tc_ref(w[0])
                vals = [ref] + [tc_channel(x, ref) for x in w[1:]]
            else:
                g = [c[6 * i:6 * i + 6] for i in range(7)]
                w = [(x[1] * 10 + x[2]) * 256 + x[3] * 100 + x[4] * 10 + x[5] for x in g]
                vals = [lm335(x) for x in w]
            rows.append([format_fixed(v, 3, 1) for v in vals])
    else:
        for n in range(1024):
            w = words4(lines, 4 * n)
            if model == 4:
                k = F(constant.replace(",", "."))
                rows.append([format_fixed(par(w, parse_int(offset), ld(k)), 4, 1)])
            elif model == 5:
                rows.append([format_fixed(rh1(w), 4, 1)])
            elif model == 6:
                rows.append([format_fixed(rh2(w), 4, 1)])
            elif model == 7:
                rows.append([format_fixed(f32(F(w)), 4, 0)])
            else:
                rows.append([format_fixed(lm35(w), 4, 1)])
    return "".join(" ".join(r) + "\r\n" for r in rows)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data.encode("ascii"))


def main():
    streams = {
        "twochannel.raw": (two_channel_stream(), "\r\n"),
        "thermocouple.raw": (thermocouple_stream(), "\n"),
        "lm335.raw": (lm335_stream(), "\r"),
        "onechannel.raw": (one_channel_stream(), "\r\n"),
    }
    for name, (lines, eol) in streams.items():
        write(name, "".join(l + eol for l in lines))
    # name, model, input, offset, constant ("-": the field left empty)
    cases = [
        ("model0", 0, "twochannel.raw", "0", "-"),
        ("model1", 1, "twochannel.raw", "0", "-"),
        ("model2", 2, "thermocouple.raw", "0", "-"),
        ("model3", 3, "lm335.raw", "0", "-"),
        ("model4_o6_k10", 4, "onechannel.raw", "6", "10"),
        ("model4_o0_k1,3", 4, "onechannel.raw", "0", "1,3"),
        ("model5", 5, "onechannel.raw", "0", "-"),
        ("model6", 6, "onechannel.raw", "0", "-"),
        ("model7", 7, "onechannel.raw", "0", "-"),
        ("model8", 8, "onechannel.raw", "0", "-"),
    ]
    manifest = ["# name model input offset constant expected  (generated by make_golden.py)"]
    for name, model, raw, offset, constant in cases:
        lines = streams[raw][0]
        expected = name.replace(",", "_") + ".expected"
        write(expected, convert(model, lines, offset, None if constant == "-" else constant))
        manifest.append(" ".join([name, str(model), raw, offset, constant, expected]))
    write("cases.txt", "\n".join(manifest) + "\n")


if __name__ == "__main__":
    main()
