#!/usr/bin/env python3
"""Writes a GPX track with heart rate for the track-loading benchmark.

usage: make_gpx.py OUTPUT [POINTS] [EXTRA_ATTRIBUTES]
    POINTS defaults to 100000, one per second; EXTRA_ATTRIBUTES (default 0) gives every
    track point that many more attributes, as a hostile file would.
"""
import datetime
import math
import random
import sys


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 100_000
    extra = "".join(' a%d="%d"' % (k, k) for k in range(int(sys.argv[3]) if len(sys.argv) > 3 else 0))
    rng = random.Random(42)
    start = datetime.datetime(2023, 5, 1, 6, 0, 0, tzinfo=datetime.timezone.utc)
    lat, lon, ele, heading, hr = 47.3769, 8.5417, 408.0, 0.0, 110.0
    per_segment = 25_000
    with open(out, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        f.write('<gpx version="1.1" creator="make_gpx.py" xmlns="http://www.topografix.com/GPX/1/1" '
                'xmlns:gpxtpx="http://www.garmin.com/xmlschemas/TrackPointExtension/v1">\n')
        f.write(' <metadata><time>%s</time></metadata>\n <trk>\n  <name>Benchmark ride</name>\n'
                % start.strftime("%Y-%m-%dT%H:%M:%SZ"))
        for i in range(count):
            if i % per_segment == 0:
                if i:
                    f.write("  </trkseg>\n")
                f.write("  <trkseg>\n")
            heading += rng.uniform(-0.2, 0.2)
            step = 8.0 / 111_000  # about 8 m/s
            lat += step * math.cos(heading)
            lon += step * math.sin(heading) / math.cos(math.radians(lat))
            ele = max(0.0, ele + rng.uniform(-0.5, 0.5))
            hr = min(190.0, max(60.0, hr + rng.uniform(-2, 2)))
            t = start + datetime.timedelta(seconds=i)
            stamp = t.strftime("%Y-%m-%dT%H:%M:%S") + (".%03dZ" % (i % 10 * 100) if i % 2 else "Z")
            f.write('   <trkpt lat="%.7f" lon="%.7f"%s>\n    <ele>%.1f</ele>\n    <time>%s</time>\n'
                    '    <extensions><gpxtpx:TrackPointExtension><gpxtpx:hr>%d</gpxtpx:hr>'
                    '</gpxtpx:TrackPointExtension></extensions>\n   </trkpt>\n'
                    % (lat, lon, extra, ele, stamp, round(hr)))
        f.write("  </trkseg>\n </trk>\n</gpx>\n")


if __name__ == "__main__":
    main()
