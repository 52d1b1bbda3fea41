#!/usr/bin/python3
"""A client of Debian's python3-gps module, for the gpsd tests.

    gps_client.py HOST PORT REPORTS

Watches with the module's own WATCH request and prints, for each of the first
REPORTS TPV and SKY reports, one JSON line of what the module made of it: the
fix fields (its gpsfix) and the satellites (its satellite objects). Exits 0
after that many of each, 1 when the server closes or goes quiet first.
"""
import json
import sys

import gps


def main():
    host, port, wanted = sys.argv[1], sys.argv[2], int(sys.argv[3])
    session = gps.gps(host=host, port=port, mode=gps.WATCH_ENABLE | gps.WATCH_JSON)
    session.sock.settimeout(30)
    seen = {"TPV": 0, "SKY": 0}
    while min(seen.values()) < wanted:
        try:
            report = session.next()
        except (StopIteration, OSError) as error:
            print("no more reports: %s" % error, file=sys.stderr)
            return 1
        kind = report.get("class")
        if kind == "TPV":
            fix = session.fix
            time = fix.time if isinstance(fix.time, str) else None  # NaN until a TPV has one
            line = {"class": "TPV", "time": time, "mode": fix.mode, "status": fix.status}
            if fix.mode >= 2:
                line.update(lat=fix.latitude, lon=fix.longitude)
        elif kind == "SKY":
            line = {"class": "SKY", "satellites": [[s.elevation, s.azimuth, s.ss, 1 if s.used else 0]
                                                   for s in session.satellites]}
        else:
            continue
        seen[kind] += 1
        print(json.dumps(line), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
