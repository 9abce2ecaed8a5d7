#!/usr/bin/python3
"""Writes src/number/vector_math_tables.h, the figures of the vector tan and log.

The log follows the table method of Szabolcs Nagy (Arm optimized-routines,
"log.c", 2018): x = 2^k z, log x = k ln2 + log c + log1p(z/c - 1) with 128
points c and a degree-5 polynomial. The tangent follows the IBM Accurate
Mathematical Library (Gal's accurate tables, Ziv 1991): tan x = f + t with
f = tan(x_i) and g = cot(x_i) at 186 points x_i near (i + 16)/256.

Figures whose construction is published are derived here in 300-bit
arithmetic and rounded to nearest double: log c from 1/c, tan x_i and
cot x_i, ln2 split into a 42-bit-grid head and its tail, 2/pi and pi/2 split
into three parts. The points (1/c, x_i), the polynomial coefficients and
the branch bounds are their authors' free choices: they are carried over
from the C library that the vector functions reproduce, GNU libc 2.36 as
Debian 12 ships it (libm.so.6: `__log_data`, the tangent's table `xfg`, and
the constants of `__tan_fma`, read from the binary).

With --check, every table row is compared with libm.so.6's own, located by
the symbols of Debian's libc6-dbg; the C++ differential tests compare the
results with the C library's tan and log.
"""
import os
import struct
import subprocess
import sys

from mpmath import mp, mpf, log, tan, cot, pi, floor

mp.prec = 300

# 1/c for each of the 128 subintervals of [0x1.6p-1, 0x1.6p0] (free choice).
LOG_INVC = [
    "0x1.734f0c3e0de9fp+0", "0x1.713786a2ce91fp+0", "0x1.6f26008fab5a0p+0",
    "0x1.6d1a61f138c7dp+0", "0x1.6b1490bc5b4d1p+0", "0x1.69147332f0cbap+0",
    "0x1.6719f18224223p+0", "0x1.6524f99a51ed9p+0", "0x1.63356aa8f24c4p+0",
    "0x1.614b36b9ddc14p+0", "0x1.5f66452c65c4cp+0", "0x1.5d867b5912c4fp+0",
    "0x1.5babccb5b90dep+0", "0x1.59d61f2d91a78p+0", "0x1.5805612465687p+0",
    "0x1.56397cee76bd3p+0", "0x1.54725e2a77f93p+0", "0x1.52aff42064583p+0",
    "0x1.50f22dbb2bddfp+0", "0x1.4f38f4734ded7p+0", "0x1.4d843cfde2840p+0",
    "0x1.4bd3ec078a3c8p+0", "0x1.4a27fc3e0258ap+0", "0x1.4880524d48434p+0",
    "0x1.46dce1b192d0bp+0", "0x1.453d9d3391854p+0", "0x1.43a2744b4845ap+0",
    "0x1.420b54115f8fbp+0", "0x1.40782da3ef4b1p+0", "0x1.3ee8f5d57fe8fp+0",
    "0x1.3d5d9a00b4ce9p+0", "0x1.3bd60c010c12bp+0", "0x1.3a5242b75dab8p+0",
    "0x1.38d22cd9fd002p+0", "0x1.3755bc5847a1cp+0", "0x1.35dce49ad36e2p+0",
    "0x1.34679984dd440p+0", "0x1.32f5cceffcb24p+0", "0x1.3187775a10d49p+0",
    "0x1.301c8373e3990p+0", "0x1.2eb4ebb95f841p+0", "0x1.2d50a0219a9d1p+0",
    "0x1.2bef9a8b7fd2ap+0", "0x1.2a91c7a0c1babp+0", "0x1.293726014b530p+0",
    "0x1.27dfa5757a1f5p+0", "0x1.268b39b1d3bbfp+0", "0x1.2539d838ff5bdp+0",
    "0x1.23eb7aac9083bp+0", "0x1.22a012ba940b6p+0", "0x1.2157996cc4132p+0",
    "0x1.201201dd2fc9bp+0", "0x1.1ecf4494d480bp+0", "0x1.1d8f5528f6569p+0",
    "0x1.1c52311577e7cp+0", "0x1.1b17c74cb26e9p+0", "0x1.19e010c2c1ab6p+0",
    "0x1.18ab07bb670bdp+0", "0x1.1778a25efbcb6p+0", "0x1.1648d354c31dap+0",
    "0x1.151b990275fddp+0", "0x1.13f0ea432d24cp+0", "0x1.12c8b7210f9dap+0",
    "0x1.11a3028ecb531p+0", "0x1.107fbda8434afp+0", "0x1.0f5ee0f4e6bb3p+0",
    "0x1.0e4065d2a9fcep+0", "0x1.0d244632ca521p+0", "0x1.0c0a77ce2981ap+0",
    "0x1.0af2f83c636d1p+0", "0x1.09ddb98a01339p+0", "0x1.08cabaf52e7dfp+0",
    "0x1.07b9f2f4e28fbp+0", "0x1.06ab58c358f19p+0", "0x1.059eea5ecf92cp+0",
    "0x1.04949cdd12c90p+0", "0x1.038c6c6f0ada9p+0", "0x1.02865137932a9p+0",
    "0x1.0182427ea7348p+0", "0x1.008040614b195p+0", "0x1.fe01ff726fa1ap-1",
    "0x1.fa11cc261ea74p-1", "0x1.f6310b081992ep-1", "0x1.f25f63ceeadcdp-1",
    "0x1.ee9c8039113e7p-1", "0x1.eae8078cbb1abp-1", "0x1.e741aa29d0c9bp-1",
    "0x1.e3a91830a99b5p-1", "0x1.e01e009609a56p-1", "0x1.dca01e577bb98p-1",
    "0x1.d92f20b7c9103p-1", "0x1.d5cac66fb5ccep-1", "0x1.d272caa5ede9dp-1",
    "0x1.cf26e3e6b2ccdp-1", "0x1.cbe6da2a77902p-1", "0x1.c8b266d37086dp-1",
    "0x1.c5894bd5d5804p-1", "0x1.c26b533bb9f8cp-1", "0x1.bf583eeece73fp-1",
    "0x1.bc4fd75db96c1p-1", "0x1.b951e0c864a28p-1", "0x1.b65e2c5ef3e2cp-1",
    "0x1.b374867c9888bp-1", "0x1.b094b211d304ap-1", "0x1.adbe885f2ef7ep-1",
    "0x1.aaf1d31603da2p-1", "0x1.a82e63fd358a7p-1", "0x1.a5740ef09738bp-1",
    "0x1.a2c2a90ab4b27p-1", "0x1.a01a01393f2d1p-1", "0x1.9d79f24db3c1bp-1",
    "0x1.9ae2505c7b190p-1", "0x1.9852ef297ce2fp-1", "0x1.95cbaeea44b75p-1",
    "0x1.934c69de74838p-1", "0x1.90d4f2f6752e6p-1", "0x1.8e6528effd79dp-1",
    "0x1.8bfce9fcc007cp-1", "0x1.899c0dabec30ep-1", "0x1.87427aa2317fbp-1",
    "0x1.84f00acb39a08p-1", "0x1.82a49e8653e55p-1", "0x1.8060195f40260p-1",
    "0x1.7e22563e0a329p-1", "0x1.7beb377dcb5adp-1", "0x1.79baa679725c2p-1",
    "0x1.77907f2170657p-1", "0x1.756cadbd6130cp-1",]
# Coefficients of log1p(r) - r = A0 r^2 + ... + A4 r^6 (free choice).
LOG_POLY = ["-0x1.0000000000001p-1", "0x1.555555551305bp-2", "-0x1.fffffffeb4590p-3",
            "0x1.999b324f10111p-3", "-0x1.55575e506c89fp-3"]
# The points x_i of the tangent's table (free choice).
TAN_X = [
    "0x1.000001e519d60p-4", "0x1.100001b1a7010p-4", "0x1.200002505e350p-4",
    "0x1.2fffffcdc4252p-4", "0x1.3ffffe3ff849fp-4", "0x1.4ffffedc9590fp-4",
    "0x1.6000000ee83f7p-4", "0x1.6ffffeb05ea41p-4", "0x1.7ffffdc0515f7p-4",
    "0x1.8ffffe384d7abp-4", "0x1.9ffffe4832347p-4", "0x1.b0000274540e3p-4",
    "0x1.bfffffebf2e9bp-4", "0x1.d000023529045p-4", "0x1.dffffd872a829p-4",
    "0x1.effffff323b84p-4", "0x1.000000ce79195p-3", "0x1.07fffee40e918p-3",
    "0x1.100000cc091fdp-3", "0x1.180000d9936a1p-3", "0x1.1ffffed5f3188p-3",
    "0x1.2800005f06a51p-3", "0x1.2fffffe3d339ep-3", "0x1.37fffed888d6fp-3",
    "0x1.4000002ca050dp-3", "0x1.47ffff2531f5cp-3", "0x1.5000013774992p-3",
    "0x1.57fffedddcb2dp-3", "0x1.5fffff41949a0p-3", "0x1.67ffff834d3a1p-3",
    "0x1.6fffffd9106eap-3", "0x1.780000f649a4fp-3", "0x1.7ffffef06bbd8p-3",
    "0x1.88000021c6334p-3", "0x1.8fffff38d0756p-3", "0x1.98000104efca1p-3",
    "0x1.a000009417b30p-3", "0x1.a7fffeb1c23ecp-3", "0x1.afffffb171c13p-3",
    "0x1.b80000aba44bep-3", "0x1.c0000113d2a3ep-3", "0x1.c7ffff49e00cep-3",
    "0x1.d000005f611abp-3", "0x1.d800014764cebp-3", "0x1.e000014bcea76p-3",
    "0x1.e7ffffd7995bdp-3", "0x1.f00000cc35436p-3", "0x1.f800001d1da33p-3",
    "0x1.00000060c13b2p-2", "0x1.0400003885492p-2", "0x1.08000052f5a13p-2",
    "0x1.0c00002ba1af5p-2", "0x1.0fffff76642c1p-2", "0x1.14000033602f0p-2",
    "0x1.17ffffefd1a13p-2", "0x1.1bffff718365dp-2", "0x1.1ffffff001e00p-2",
    "0x1.23ffffe425a6ap-2", "0x1.28000059ec1dbp-2", "0x1.2c000000dd081p-2",
    "0x1.2fffffc1dcd2bp-2", "0x1.33ffff6c0d4a0p-2", "0x1.3800006b16793p-2",
    "0x1.3c00007358fa3p-2", "0x1.3fffffc3b18cfp-2", "0x1.44000000dd2a8p-2",
    "0x1.47ffffbb43713p-2", "0x1.4bffffb113bf4p-2", "0x1.4fffff7f087c9p-2",
    "0x1.54000088b3814p-2", "0x1.57ffff7d55966p-2", "0x1.5c00008bf2490p-2",
    "0x1.6000009fa853fp-2", "0x1.6400007595fcap-2", "0x1.68000031687dap-2",
    "0x1.6bffff5c8cfe2p-2", "0x1.6fffff81df231p-2", "0x1.73ffffa71385ep-2",
    "0x1.78000024a9c2bp-2", "0x1.7c00002eb62b8p-2", "0x1.80000054a52d1p-2",
    "0x1.83ffff93a00a3p-2", "0x1.87ffffbdc91c1p-2", "0x1.8bffff6d215e6p-2",
    "0x1.9000002f734efp-2", "0x1.9400004eef8b4p-2", "0x1.98000041ec76ap-2",
    "0x1.9c00008044e47p-2", "0x1.a000001f8235bp-2", "0x1.a3ffffb8c6f08p-2",
    "0x1.a7ffffb3d63e1p-2", "0x1.abffff5f45c48p-2", "0x1.b00000508b34cp-2",
    "0x1.b40000a84710cp-2", "0x1.b7ffff692e9d8p-2", "0x1.bc0000280f14dp-2",
    "0x1.c0000001121d1p-2", "0x1.c3ffffef662aap-2", "0x1.c800009845818p-2",
    "0x1.cbffffb0493bfp-2", "0x1.cfffffd52961fp-2", "0x1.d3ffffe2319a4p-2",
    "0x1.d7ffffa4de596p-2", "0x1.dbffffe729a69p-2", "0x1.e000009d66802p-2",
    "0x1.e3ffffb211657p-2", "0x1.e80000a3f068ap-2", "0x1.ec00001adb060p-2",
    "0x1.effffff5c0d01p-2", "0x1.f3ffff93d5fccp-2", "0x1.f7ffffa0dd18fp-2",
    "0x1.fbffffd3a9f1ap-2", "0x1.ffffffc481400p-2", "0x1.01fffff53786cp-1",
    "0x1.03ffffee301b7p-1", "0x1.06000006e36bfp-1", "0x1.07ffffd60aa43p-1",
    "0x1.0a000037762e8p-1", "0x1.0bfffff1c6921p-1", "0x1.0dfffff07154bp-1",
    "0x1.1000002fcdda4p-1", "0x1.1200001ce1140p-1", "0x1.1400004d0f355p-1",
    "0x1.1600000fb0c8ap-1", "0x1.18000026f10b3p-1", "0x1.19ffffd0978f8p-1",
    "0x1.1bffffd94840bp-1", "0x1.1dffffbda1ea1p-1", "0x1.1fffffc989533p-1",
    "0x1.22000012b8d26p-1", "0x1.2400004f4d6afp-1", "0x1.25ffffcc07bdap-1",
    "0x1.28000042d9639p-1", "0x1.2a00003be29a0p-1", "0x1.2bffffaa91f12p-1",
    "0x1.2dffffe884891p-1", "0x1.2fffffe87152bp-1", "0x1.31fffffc1a721p-1",
    "0x1.33fffff70a372p-1", "0x1.360000436e836p-1", "0x1.37ffffcbe9641p-1",
    "0x1.39fffffb6d6cap-1", "0x1.3c00004934fecp-1", "0x1.3e00003f5cf7fp-1",
    "0x1.4000005280ad9p-1", "0x1.42000049efb65p-1", "0x1.440000035ccb6p-1",
    "0x1.4600003346717p-1", "0x1.4800003002575p-1", "0x1.4a000055bf381p-1",
    "0x1.4c00004ce10e3p-1", "0x1.4e000016c60e1p-1", "0x1.4ffffff966f0ap-1",
    "0x1.520000076e6ebp-1", "0x1.5400003d12d3bp-1", "0x1.55ffffce7fa8dp-1",
    "0x1.580000331b46ap-1", "0x1.59ffffc14848ep-1", "0x1.5bffffb7cd395p-1",
    "0x1.5e000000dcc40p-1", "0x1.6000002efd2fcp-1", "0x1.61ffffeb8088ap-1",
    "0x1.6400000f3ca06p-1", "0x1.65ffffe9ec2f4p-1", "0x1.6800003d43966p-1",
    "0x1.69ffffab67783p-1", "0x1.6bffffcb65f89p-1", "0x1.6dffffc5609a9p-1",
    "0x1.6fffffc4eef86p-1", "0x1.72000004d98b3p-1", "0x1.73ffffc155075p-1",
    "0x1.760000498c203p-1", "0x1.77fffff1e5636p-1", "0x1.7a0000226d45ap-1",
    "0x1.7c0000250a5aap-1", "0x1.7e0000482f82ep-1", "0x1.800000205003ep-1",
    "0x1.81ffffbf99411p-1", "0x1.840000248e3a3p-1", "0x1.860000145c157p-1",
    "0x1.88000022631b9p-1", "0x1.8a000045f7828p-1", "0x1.8bfffffc686cfp-1",
    "0x1.8dffffd8644c6p-1", "0x1.8fffffe4e7937p-1", "0x1.920000435251fp-1",]
# tan x = x + x^3 (d3 + d5 x^2 + ... + d11 x^8) near 0, and
# tan(x_i + z) from p(z) = z + z^3 (e0 + e1 z^2) (free choice).
TAN_POLY = ["0x1.5555555555555p-2", "0x1.11111111107c6p-3", "0x1.ba1ba1cdb8745p-5",
            "0x1.664ed49cfc666p-6", "0x1.2385a3cf2e4eap-7"]
TAN_TABLE_POLY = ["0x1.5555555554dbdp-2", "0x1.11112e0a6b45fp-3"]
# Upper bounds of the tangent's branches: tan x = x, the polynomial, the
# table (free choice).
TAN_BOUNDS = ["0x1.b096c00000000p-27", "0x1.f212d00000000p-5", "0x1.92f1a00000000p-1"]


def rn(value):
    """The double nearest to value (mpmath rounds to nearest, ties to even)."""
    return float(value)


def on_grid(value, exponent):
    """value rounded to the nearest multiple of 2^exponent."""
    step = mpf(2) ** exponent
    return rn(floor(value / step + mpf(0.5)) * step)


def tables():
    invc = [float.fromhex(v) for v in LOG_INVC]
    logc = [rn(-log(mpf(v))) for v in invc]
    xs = [float.fromhex(v) for v in TAN_X]
    tans = [rn(tan(mpf(x))) for x in xs]
    cots = [rn(cot(mpf(x))) for x in xs]
    ln2 = log(mpf(2))
    ln2hi = on_grid(ln2, -42)  # k * ln2hi is exact for |k| < 2^11
    ln2lo = rn(ln2 - mpf(ln2hi))
    half_pi = pi / 2
    mp1 = on_grid(half_pi, -25)  # n * mp1 is exact for the n of one quadrant
    mp2 = on_grid(half_pi - mpf(mp1), -53)
    mp3 = rn(half_pi - mpf(mp1) - mpf(mp2))
    constants = {
        "kLn2Hi": ln2hi, "kLn2Lo": ln2lo, "kTwoByPi": rn(2 / pi),
        "kHalfPi1": mp1, "kHalfPi2": mp2, "kHalfPi3": mp3,
    }
    return invc, logc, xs, tans, cots, constants


def check(invc, logc, xs, tans, cots):
    """Compares the rows with those of libm.so.6; returns the differences."""
    lib = "/lib/x86_64-linux-gnu/libm.so.6"
    build_id = subprocess.run(["readelf", "-n", lib], capture_output=True, text=True).stdout
    build_id = build_id.split("Build ID: ")[1].split()[0]
    debug = f"/usr/lib/debug/.build-id/{build_id[:2]}/{build_id[2:]}.debug"
    symbols = {}
    for line in subprocess.run(["nm", debug], capture_output=True, text=True).stdout.splitlines():
        parts = line.split()
        if len(parts) == 3:
            symbols.setdefault(parts[2], int(parts[0], 16))
    segments = []
    for line in subprocess.run(["readelf", "-lW", lib], capture_output=True, text=True).stdout.splitlines():
        parts = line.split()
        if parts and parts[0] == "LOAD":
            segments.append((int(parts[2], 16), int(parts[1], 16), int(parts[4], 16)))
    data = open(lib, "rb").read()

    def doubles(address, count):
        for vaddr, offset, size in segments:
            if vaddr <= address < vaddr + size:
                return struct.unpack_from(f"<{count}d", data, address - vaddr + offset)
        raise SystemExit(f"address {address:#x} is in no segment of {lib}")

    log_data = doubles(symbols["__log_data"], 2 + 5 + 11 + 256)
    ours = [float.fromhex(v) for v in LOG_POLY]
    differences = sum(a != b for a, b in zip(log_data[2:7], ours))
    rows = log_data[18:]
    differences += sum(rows[2 * i] != invc[i] or rows[2 * i + 1] != logc[i] for i in range(128))
    xfg = doubles(symbols["xfg.12"], 186 * 4)
    differences += sum(xfg[4 * i:4 * i + 3] != (xs[i], tans[i], cots[i]) for i in range(186))
    return differences


def main():
    invc, logc, xs, tans, cots, constants = tables()
    if "--check" in sys.argv:
        differences = check(invc, logc, xs, tans, cots)
        print(f"{differences} rows differ from libm.so.6's")
        sys.exit(1 if differences else 0)
    h = lambda v: float(v).hex() if isinstance(v, float) else float.fromhex(v).hex()
    out = ["// Written by scripts/vector_math_tables.py: change the script, not this file.",
           "#ifndef KAVRIX_NUMBER_VECTOR_MATH_TABLES_H_",
           "#define KAVRIX_NUMBER_VECTOR_MATH_TABLES_H_", "",
           "namespace kavrix::vector_math_tables {", ""]
    for name, value in constants.items():
        out.append(f"inline constexpr double {name} = {h(value)};")
    for name, values in (("kLogPoly", LOG_POLY), ("kTanPoly", TAN_POLY),
                         ("kTanTablePoly", TAN_TABLE_POLY), ("kTanBounds", TAN_BOUNDS)):
        out.append(f"inline constexpr double {name}[{len(values)}] = {{{', '.join(h(v) for v in values)}}};")
    # Flat rows, so that vector lanes gather a column with one stride.
    out += ["", "/// 1/c and log c of the log's 128 subintervals, a row each.",
            "inline constexpr double kLogTable[128 * 2] = {"]
    out += [f"    {h(a)}, {h(b)}," for a, b in zip(invc, logc)]
    out += ["};", "", "/// x_i, tan x_i and cot x_i of the tangent's 186 points, a row each,",
            "/// with a fourth column of 0 so that a row is one 32-byte load.",
            "inline constexpr double kTanTable[186 * 4] = {"]
    out += [f"    {h(a)}, {h(b)}, {h(c)}, 0x0p+0," for a, b, c in zip(xs, tans, cots)]
    out += ["};", "", "}  // namespace kavrix::vector_math_tables", "",
            "#endif  // KAVRIX_NUMBER_VECTOR_MATH_TABLES_H_", ""]
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "number",
                        "vector_math_tables.h")
    with open(path, "w") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
