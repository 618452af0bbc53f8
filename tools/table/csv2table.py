#!/usr/bin/env python3
"""Converts the Loran-C station list (CSV) into velkor's station table.

Input: the station list, UTF-8 CSV with RFC 4180 quoting and one header line.
Columns used (by name): gri, letter, name, lat_deg, lat_min, lat_sec, ns,
lon_deg, lon_min, lon_sec, ew, emission_delay_us, power_kw, status. One line
per transmitter role (a dual-rated station appears once per GRI and letter).

Output: the station table, one transmitter per line, fifteen comma-separated
fields, no blanks between fields, LF line ends:

    GRI,0,letter,"name",lat deg,lat min,lat sec,N|S,lon deg,lon min,lon sec,E|W,
    emission delay [us],0,power [kW]

  GRI        group repetition interval in units of 10 us (7499 = 74.99 ms)
  0          field 2, not read by velkor
  letter     M, V, W, X, Y or Z, unquoted and without trailing blank
  "name"     site name in double quotes (the names hold no double quote)
  position   degrees, minutes, seconds and hemisphere letter, WGS84
  delay      emission delay in microseconds (0.00 for a master)
  0          field 14, not read by velkor
  power      radiated peak power in kW, 0 when the list gives none

Rules:
  - Lines without coordinates are left out: velkor would place them at 0 N 0 E.
  - Lines are sorted by GRI and letter. When several transmitters share a GRI
    and letter (the pair was used again in a later era), the one on the air
    most recently comes last, because velkor takes the last matching record.
    "Most recently" is read from the status column: still on the air (active,
    reported, test, disputed) beats any closing year, a closing year beats an
    unknown one, and "never on air" comes first.

Usage: csv2table.py loran-stations.csv > data/table.txt
"""

import csv
import re
import sys

FIELDS = ("gri", "letter", "name", "lat_deg", "lat_min", "lat_sec", "ns",
          "lon_deg", "lon_min", "lon_sec", "ew", "emission_delay_us",
          "power_kw", "status")

STILL_ON_AIR = 9999  # rank of a transmitter reported on the air


def on_air_rank(status):
    """How recently a transmitter was on the air: larger is more recent."""
    text = status.strip().lower()
    if text.startswith("never"):
        return 0
    if text.startswith(("active", "reported", "test", "disputed")):
        return STILL_ON_AIR
    years = [int(y) for y in re.findall(r"\b(1[89]\d\d|2\d\d\d)\b", text)]
    return max(years) if years else 1


def has_position(row):
    return all(row[key].strip() for key in
               ("lat_deg", "lat_min", "lat_sec", "ns", "lon_deg", "lon_min", "lon_sec", "ew"))


def number(text, default="0"):
    text = text.strip()
    if not text:
        return default
    float(text)  # refuse anything that is not a number
    return text


def table_line(row):
    name = row["name"].strip()
    if '"' in name:
        raise ValueError("name with a double quote: " + name)
    letter = row["letter"].strip().upper()
    if len(letter) != 1 or not letter.isalpha():
        raise ValueError("bad letter %r for %s" % (row["letter"], name))
    ns = row["ns"].strip().upper()
    ew = row["ew"].strip().upper()
    if ns not in ("N", "S") or ew not in ("E", "W"):
        raise ValueError("bad hemisphere for " + name)
    fields = [
        str(int(row["gri"])), "0", letter, '"%s"' % name,
        number(row["lat_deg"]), number(row["lat_min"]), number(row["lat_sec"]), ns,
        number(row["lon_deg"]), number(row["lon_min"]), number(row["lon_sec"]), ew,
        number(row["emission_delay_us"]), "0", number(row["power_kw"]),
    ]
    return ",".join(fields)


def convert(csv_file, out):
    reader = csv.DictReader(csv_file)
    missing = [key for key in FIELDS if key not in (reader.fieldnames or [])]
    if missing:
        raise ValueError("columns missing: " + ", ".join(missing))
    rows = [row for row in reader if row["gri"].strip()]
    kept = [row for row in rows if has_position(row)]
    kept.sort(key=lambda row: (int(row["gri"]), row["letter"].strip().upper(),
                               on_air_rank(row["status"])))
    for row in kept:
        out.write(table_line(row) + "\n")
    return len(rows), len(kept)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: csv2table.py loran-stations.csv > table.txt\n")
        return 2
    with open(argv[1], newline="", encoding="utf-8") as csv_file:
        total, kept = convert(csv_file, sys.stdout)
    sys.stderr.write("%d transmitters written, %d without coordinates left out\n"
                     % (kept, total - kept))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
