#!/usr/bin/python3
"""velkor-plot on the log and image of a short demo-like run: every figure is
drawn and each of its axes carries the run's data.

    velkor_plot_test.py VELKOR VELKOR_SYNTH TABLE VELKOR_PLOT

A recording of one minute at 12 kHz of three stations with a sound card
12.5 ppm fast is made by velkor-synth; velkor runs on it with a log, an image
row per two short integrations of 2 s and stations.txt.
"""

import math
import os
import subprocess
import sys
import tempfile
import types

import numpy as np

velkor, synth, table, plot_path = (os.path.abspath(a) for a in sys.argv[1:5])

SYNTH = f"""[location]
lat = 48.39
lon = -4.49
[file]
table = {table}
wav = rec.wav
header = 44
bits = 16
stereo
date = 03-01-2015
time = 12:59:30.35
[frequency]
sr = 12000
ppm = 12.5
[time]
duration = 60
[signal]
amplitude = 2000
noise = 1500
seed = 3
[stations]
7499x = 1.0, 0
6731x = 0.6, 30
9007m = 0.3, 45
"""

VELKOR = f"""[location]
lat = 48.39
lon = -4.49
[file]
table = {table}
wav = rec.wav
bmp = run.bmp
log = run.csv
date = 03-01-2015
time = 12:59:30
[frequency]
sr = 12000
[time]
shortintegration = 2
longintegration = 2
displaysamples = 24
[amplitude]
fullscale = 3000
[taisync]
integrationtime = 2
7499x = 10000
6731x = 10000
[stations]
7499x
6731x
9007m
printstationlist
"""

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def finite_points(line):
    return int(np.isfinite(np.asarray(line.get_ydata(), dtype=float)).sum())


def load_plot():
    module = types.ModuleType("velkor_plot")
    module.__file__ = plot_path
    with open(plot_path) as source:
        exec(compile(source.read(), plot_path, "exec"), module.__dict__)
    return module


with tempfile.TemporaryDirectory() as work:
    os.chdir(work)
    with open("synth.ini", "w") as f:
        f.write(SYNTH)
    with open("velkor.ini", "w") as f:
        f.write(VELKOR)
    subprocess.run([synth, "synth.ini"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([velkor, "velkor.ini"], check=True, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)

    vp = load_plot()
    log = vp.read_log("run.csv")
    status = log.of("status")
    expect(len(status) >= 25, f"{len(status)} status records")
    labels = vp.station_labels(log, "stations.txt")
    expect(labels[0].startswith("Lessay\n7499 X\n"), f"label {labels[0]!r}")

    timing = vp.timing_figure(log)
    rate, lo, accumulated = timing.axes
    expect(finite_points(rate.lines[-1]) == len(status), "sr deviation over time")
    ppm = [y for y in rate.lines[-1].get_ydata() if math.isfinite(y)]
    expect(abs(sorted(ppm)[len(ppm) // 2] - 12.5) < 2, f"median sr deviation {sorted(ppm)[len(ppm) // 2]} ppm")
    expect(finite_points(lo.lines[-1]) == len(status), "oscillator error over time")
    expect(finite_points(accumulated.lines[-1]) == len(status), "accumulated oscillator time")
    expect(any(l.get_linestyle() == "--" for l in rate.lines), "the synchronisation is marked")

    stations = vp.stations_figure(log, labels)
    snr, position = stations.axes
    for ax, what in ((snr, "SNR"), (position, "pulse position")):
        drawn = [l for l in ax.lines if l.get_linestyle() in ("-", "None")]
        expect(len(drawn) == 3 and all(finite_points(l) == len(status) for l in drawn), f"{what} of every station")
    expect(min(snr.lines[-3].get_ydata()[2:]) > 10, "Lessay stands above its noise")

    allan = vp.allan_figure(log)
    curves = allan.axes[0].lines
    expect(len(curves) == 2 and all(len(l.get_xdata()) >= 4 for l in curves), "two Allan deviation curves")
    expect(all(0 < y < 1e-4 for l in curves for y in l.get_ydata()), "Allan deviations are fractional frequencies")

    image = vp.image_figure("run.bmp", log, labels)
    ax = image.axes[0]
    expect(ax.images and ax.images[0].get_array().shape[:2] == (len(status) // 2, 72), "the image, 3 strips of 24")
    names = [t.get_text() for t in ax.get_yticklabels()]
    expect(names and all(n.count(":") == 1 for n in names), f"time axis {names}")
    secondary = [child for child in ax.get_children() if child.__class__.__name__ == "SecondaryAxis"]
    tops = [t.get_text() for s in secondary for t in s.get_xticklabels()]
    hours = [t.get_text() for s in secondary for t in s.get_yticklabels()]
    expect(tops[:1] == [labels[0]], f"station labels {tops}")
    expect(hours == ["12 h", "13 h"], f"hour ticks {hours}")

    vp.main(["--image", "run.bmp", "-o", "png", "run.csv"])
    for kind in ("timing", "stations", "allan", "image"):
        with open(f"png/run-{kind}.png", "rb") as f:
            expect(f.read(8) == b"\x89PNG\r\n\x1a\n", f"run-{kind}.png")

for failure in failures:
    print("FAILED:", failure)
print(f"velkor-plot: {0 if failures else 1} passed, {1 if failures else 0} failed")
sys.exit(1 if failures else 0)
