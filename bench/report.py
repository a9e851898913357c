#!/usr/bin/env python3
"""The benchmark report: every figure beside its baseline from the same run and its aim.

  report.py measure-cpu OUT.json   the visualiser path on a device beside cava, same song
  report.py table DIR OUT.md       the table from DIR/*.json (Google Benchmark) and DIR/cpu.json

Frames are CPU time per frame (the machine may be shared); round trips are wall-clock
percentiles. Every percentile comes from the benchmarks, by nearest rank (the value of rank
ceil(p * n / 100) in ascending order, tools/figures/Percentile.h); this script computes none.
"""

import json
import math
import os
import pathlib
import re
import struct
import subprocess
import sys
import tempfile
import threading
import time
import wave

ROOT = pathlib.Path(__file__).resolve().parent.parent
TOOL = ROOT / "build" / "release" / "bin" / "vellamor"
RATE = 44100
SECONDS = 40
MEASURE = 15.0  # seconds shown, and as many blanked
ROUNDS = 3
SETTLE = 1.0  # after the screen goes off or on


def write_song(path):
    """A synthesised song: chords, a bass line and a beat, stereo, 16-bit."""
    frames = bytearray()
    for i in range(RATE * SECONDS):
        t = i / RATE
        beat = math.exp(-8 * (t % 0.5))
        root = 110 * (1.5 if int(t / 2) % 2 else 1.0)
        chord = sum(math.sin(2 * math.pi * root * k * t) / k for k in (1, 1.25, 1.5, 2))
        left = 0.25 * chord + 0.3 * beat * math.sin(2 * math.pi * 55 * t)
        right = 0.25 * chord * (0.8 + 0.2 * math.sin(t)) + 0.3 * beat * math.sin(2 * math.pi * 58 * t)
        frames += struct.pack("<hh", int(32767 * max(-1, min(1, left))),
                              int(32767 * max(-1, min(1, right))))
    with wave.open(str(path), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))


def task_totals(pid, thread=None):
    """CPU seconds (the scheduler's, to the nanosecond, rather than clock ticks of 10 ms) and
    voluntary context switches (sleeps, each ended by a wake-up) of a process's threads, or of
    one of them."""
    tasks = [thread] if thread is not None else os.listdir(f"/proc/{pid}/task")
    seconds, switches = 0.0, 0
    for task in tasks:
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                seconds += int(f.read().split()[0]) / 1e9
            with open(f"/proc/{pid}/task/{task}/status") as f:
                switches += next(int(line.split()[1]) for line in f
                                 if line.startswith("voluntary_ctxt_switches"))
        except FileNotFoundError:
            pass  # a thread that has ended
    return seconds, switches


def sample(pids, seconds):
    """Share of one core each process (or (pid, thread)) used over the same `seconds`, and its
    wake-ups per second."""
    read = lambda pid: task_totals(*pid) if isinstance(pid, tuple) else task_totals(pid)
    before = {name: read(pid) for name, pid in pids.items()}
    start = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - start
    after = {name: read(pid) for name, pid in pids.items()}
    return ({name: 100 * (after[name][0] - before[name][0]) / elapsed for name in pids},
            {name: (after[name][1] - before[name][1]) / elapsed for name in pids})


def mean_of(windows):
    """Each name's mean over windows of equal length."""
    return {name: sum(w[name] for w in windows) / len(windows) for name in windows[0]}


def recorded_pids(device):
    """The pids the launcher recorded under run/pids."""
    return {name: int(pathlib.Path(device, "run", "pids", f"{name}.pid").read_text().split()[0])
            for name in ("SpringBoard", "mediaserverd")}


def feed_fifo(fifo, song, stop):
    """The song's samples into cava's FIFO at the pace it plays, until cava stops reading."""
    try:
        with wave.open(str(song), "rb") as w, open(fifo, "wb") as out:
            chunk = RATE // 30
            next_time = time.monotonic()
            while not stop.is_set():
                data = w.readframes(chunk)
                if not data:
                    w.rewind()
                    continue
                out.write(data)
                out.flush()
                next_time += chunk / RATE
                time.sleep(max(0, next_time - time.monotonic()))
    except BrokenPipeError:
        pass


def measure_cpu(out_path):
    result = {}
    with tempfile.TemporaryDirectory(prefix="vellamor-report.") as work:
        work = pathlib.Path(work)
        song = work / "song.wav"
        write_song(song)

        cava = None
        stop = threading.Event()
        if subprocess.run(["which", "cava"], capture_output=True).returncode == 0:
            fifo = work / "cava.fifo"
            os.mkfifo(fifo)
            config = work / "cava.conf"
            config.write_text(
                "[general]\nbars = 64\nframerate = 30\n"
                f"[input]\nmethod = fifo\nsource = {fifo}\nsample_rate = {RATE}\nsample_bits = 16\n"
                "[output]\nmethod = raw\nraw_target = /dev/null\ndata_format = binary\n")
            cava = subprocess.Popen(["cava", "-p", str(config)], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            threading.Thread(target=feed_fifo, args=(fifo, song, stop), daemon=True).start()

        device = work / "device"
        env = dict(os.environ, VELLAMOR_MEDIASERVERD_OPTIONS=f"--audio-file {song}")
        subprocess.run([str(TOOL), "device", "create", str(device), "--system", "10"], check=True,
                       capture_output=True)
        prefs = device / "var/mobile/Library/Preferences/org.vellamor2.service.plist"
        prefs.parent.mkdir(parents=True, exist_ok=True)
        prefs.write_text(
            '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
            "<key>VisMethod</key><integer>2</integer><key>BarsNumber</key><integer>64</integer>"
            "</dict></plist>\n")
        run = lambda *args: subprocess.run([str(TOOL), "--device", str(device), *args], env=env,
                                           check=True, capture_output=True)
        try:
            run("device", "up")
            # The hosts offer their control services once they have started.
            deadline = time.monotonic() + 30
            while subprocess.run([str(TOOL), "--device", str(device), "device", "show-artwork"],
                                 env=env, capture_output=True).returncode != 0:
                if time.monotonic() > deadline:
                    raise RuntimeError("the lock screen never showed its artwork")
                time.sleep(0.2)
            time.sleep(2)
            pids = recorded_pids(device)
            # The daemon's main thread sends the packets; its render and decoding threads run
            # whether the screen is on or not.
            daemon_main = (pids["mediaserverd"], pids["mediaserverd"])
            pids["mediaserverd_main"] = daemon_main
            if cava is not None:
                pids["cava"] = cava.pid
            # Shown and blanked windows take turns, so that the daemon's own work with the
            # screen off is subtracted from windows of the same minutes, not of a later one.
            blanked_pids = {"mediaserverd": pids["mediaserverd"], "mediaserverd_main": daemon_main}
            shown_windows, blanked_windows, shown_wakeups = [], [], []
            for _ in range(ROUNDS):
                shares, wakeups = sample(pids, MEASURE / ROUNDS)
                shown_windows.append(shares)
                shown_wakeups.append(wakeups)
                run("device", "blank")
                time.sleep(SETTLE)
                blanked_windows.append(sample(blanked_pids, MEASURE / ROUNDS)[0])
                run("device", "light")
                time.sleep(SETTLE)
            shown, blanked = mean_of(shown_windows), mean_of(blanked_windows)
            result = {
                "springboard": shown["SpringBoard"],
                "mediaserverd_shown": shown["mediaserverd"],
                "mediaserverd_blanked": blanked["mediaserverd"],
                "mediaserverd_main_shown": shown["mediaserverd_main"],
                "mediaserverd_main_blanked": blanked["mediaserverd_main"],
                "capture_and_send": max(0.0, shown["mediaserverd"] - blanked["mediaserverd"]),
                "cava": shown.get("cava"),
                "wakeups_per_second": mean_of(shown_wakeups),
            }
        finally:
            subprocess.run([str(TOOL), "--device", str(device), "device", "down"],
                           capture_output=True)
            stop.set()
            if cava is not None:
                cava.terminate()
                cava.wait()
    pathlib.Path(out_path).write_text(json.dumps(result, indent=1))


def load_benchmarks(directory):
    runs = {}
    for path in pathlib.Path(directory).glob("bench_*.json"):
        for b in json.loads(path.read_text()).get("benchmarks", []):
            name = re.sub(r"/iterations:\d+", "", b["name"])
            runs[name.split("/real_time")[0].split("/process_time")[0]] = b
    return runs


def ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    return b["cpu_time"] * scale


def table(directory, out_path):
    runs = load_benchmarks(directory)
    rows = []

    def row(figure, value, baseline_name, baseline, aim, met):
        ratio = value / baseline if baseline else float("nan")
        rows.append((figure, value, baseline_name, baseline, ratio, aim, "yes" if met else "no"))

    frames = [("joyplot masked", "Joyplot_MaskedFrameRendered"),
              ("joyplot open", "Joyplot_OpenFrameRendered"),
              ("debug", "Debug_FrameRendered"),
              ("heaviest waveform", "Waveform_HeaviestFrameRendered"),
              ("bars (heaviest)", "Bars_HeaviestFrameRendered"),
              ("wave bars (heaviest)", "WaveBars_HeaviestFrameRendered")]
    for label, name in frames:
        b, c = runs.get(f"BM_Plot_{name}"), runs.get(f"BM_Plot_{name}CairoBest")
        if b and c:
            row(f"{label}: frame at 2× for 375 pt, ms", ms(b), "Cairo's best, same tree", ms(c),
                "< 8 ms", ms(b) < 8)
    h, hm = runs.get("BM_Transport_HistoryRoundTrip"), runs.get("BM_Transport_HistoryMemcpy")
    if h:
        row("history round trip p50, µs", h["p50_us"], "memcpy of 655,372 bytes", h["memcpy_us"],
            "≤ 4× memcpy", h["p50_us"] <= 4 * h["memcpy_us"])
        row("history round trip p99, µs", h["p99_us"], "memcpy of 655,372 bytes, p99",
            h.get("memcpy_p99_us", h["memcpy_us"]),
            "< 1000 µs", h["p99_us"] < 1000)
    spaced = runs.get("BM_Transport_HistoryRoundTripSpaced")
    if spaced:
        row("history round trip p50, asked each ms (the service woken each time), µs",
            spaced["p50_us"], "memcpy of 655,372 bytes", spaced["memcpy_us"], "≤ 4× memcpy",
            spaced["p50_us"] <= 4 * spaced["memcpy_us"])
    p, ping = runs.get("BM_Transport_PacketRoundTrip"), runs.get("BM_Transport_TwoProcessPing")
    if p and ping:
        row("packet round trip p50, µs", p["p50_us"], "two-process datagram ping p50",
            ping["p50_us"], "≤ 2× ping", p["p50_us"] <= 2 * ping["p50_us"])
    paced, paced_ping = (runs.get("BM_Transport_PacketRoundTripPaced"),
                         runs.get("BM_Transport_TwoProcessPingPaced"))
    if paced and paced_ping:
        row("packet exchange at the render's pace (both ends asleep between): the sender's CPU "
            "per exchange, µs", paced["client_cpu_us"], "two-process datagram ping at that pace",
            paced_ping["client_cpu_us"], "≤ 2× ping",
            paced["client_cpu_us"] <= 2 * paced_ping["client_cpu_us"])
    wb, five = runs.get("BM_Plot_WaveBars_HeaviestFrame"), runs.get(
        "BM_Plot_WaveBars_FivePassLevelsBaseline")
    if wb and five:
        row("wave-bars frame (computing and paths), ms", ms(wb), "five passes with libm log10",
            ms(five), "< 1 ms", ms(wb) < 1)
    wf, fftw = runs.get("BM_Plot_Waveform_HeaviestFrame"), runs.get("BM_Dsp_FFT_BareFFTW/65536")
    if wf and fftw:
        row("heaviest waveform frame, ms", ms(wf), "bare FFTW, 65,536 points", ms(fftw), "< 1 ms",
            ms(wf) < 1)
    cpu_path = pathlib.Path(directory, "cpu.json")
    if cpu_path.exists():
        cpu = json.loads(cpu_path.read_text())
        if cpu and cpu.get("cava") is not None:
            path = cpu["springboard"] + cpu["capture_and_send"]
            sends = cpu.get("mediaserverd_main_shown")
            wakeups = cpu.get("wakeups_per_second", {})
            row("visualiser path CPU, % of a core (SpringBoard "
                f"{cpu['springboard']:.2f} + capture and send {cpu['capture_and_send']:.2f}"
                + (f"; the daemon's sending thread {sends:.2f}" if sends is not None else "")
                + ("; wake-ups a second: SpringBoard {:.0f}, the daemon {:.0f}, cava {:.0f}".format(
                    wakeups["SpringBoard"], wakeups["mediaserverd"], wakeups.get("cava", 0))
                   if "SpringBoard" in wakeups else "")
                + ")",
                path, "cava: FIFO, raw, 64 bars, 30 fps", cpu["cava"], "below cava",
                path < cpu["cava"])

    lines = ["| figure | measured | baseline (same run) | baseline | ratio | aim | met |",
             "|---|---:|---|---:|---:|---|---|"]
    for figure, value, baseline_name, baseline, ratio, aim, met in rows:
        lines.append(f"| {figure} | {value:.3f} | {baseline_name} | {baseline:.3f} | "
                     f"{ratio:.2f}× | {aim} | {met} |")
    text = ("Frames: CPU time per frame; round trips: wall-clock percentiles; one run.\n\n" +
            "\n".join(lines) + "\n")
    pathlib.Path(out_path).write_text(text)
    print(text)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "measure-cpu":
        measure_cpu(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "table":
        table(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
