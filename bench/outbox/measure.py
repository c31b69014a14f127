#!/usr/bin/python3
"""Runs one command and says what it cost: wall seconds, CPU seconds and
peak RSS (MiB). With --watch DIR it also samples, once a second, the
command's CPU time and how many results still wait in DIR, and prints the
CPU per result sent in each quarter of the run (flat when the cost per
result does not grow with what waits).

usage: measure.py [--watch DIR] -- COMMAND...
"""
import os
import resource
import subprocess
import sys
import time

TICKS = os.sysconf("SC_CLK_TCK")


def waiting(folder):
    with os.scandir(folder) as entries:
        return sum(1 for e in entries if e.name.endswith(".json"))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def main():
    args = sys.argv[1:]
    watch = None
    if args[:1] == ["--watch"]:
        watch, args = args[1], args[2:]
    if args[:1] == ["--"]:
        args = args[1:]
    started = time.monotonic()
    child = subprocess.Popen(args, stdout=subprocess.DEVNULL)
    samples = []
    next_sample = started
    while child.poll() is None:
        if watch and time.monotonic() >= next_sample:
            next_sample += 1
            try:
                samples.append((cpu_seconds(child.pid), waiting(watch)))
            except (OSError, IndexError):
                pass
        time.sleep(0.02)
    wall = time.monotonic() - started
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    print("exit=%d wall_s=%.2f cpu_s=%.2f peak_rss_mib=%.1f" % (
        child.returncode, wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024))
    if len(samples) >= 5:
        quarter = max(1, len(samples) // 4)
        for first in range(0, len(samples) - quarter, quarter):
            (cpu0, left0), (cpu1, left1) = samples[first], samples[first + quarter]
            sent = left0 - left1
            if sent > 0:
                print("  waiting %6d -> %6d: %.3f ms CPU per result" % (
                    left0, left1, (cpu1 - cpu0) * 1000 / sent))
    return child.returncode


if __name__ == "__main__":
    sys.exit(main())
