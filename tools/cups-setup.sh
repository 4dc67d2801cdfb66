#!/usr/bin/env bash
# Starts a CUPS server with the queues the printing tests use, unless one
# already answers, and leaves it running. Idempotent: a second run only checks.
#   PDF       cups-pdf: every job becomes a PDF in /var/spool/cups-pdf/<user>/,
#             named after the job title; the system default printer.
#   LaserJet  the CUPS sample HP LaserJet driver, which lists input slots; the
#             queue accepts jobs but is stopped, so jobs wait with their
#             attributes until a test reads and cancels them.
# Without root, or without cupsd and cups-pdf installed, it says why and
# exits 0: the tests that need the server then skip.
set -uo pipefail

say() { echo "cups-setup: $*" >&2; }

if [ "$(id -u)" -ne 0 ]; then say "not root; printing tests will skip"; exit 0; fi
if [ ! -x /usr/sbin/cupsd ] || [ ! -e /usr/lib/cups/backend/cups-pdf ]; then
  say "cupsd or cups-pdf missing; printing tests will skip"; exit 0
fi

running() { lpstat -r 2>/dev/null | grep -q 'is running'; }

# cups-pdf writes to the job owner's home by default; a fixed folder is easier
# to find. Title-based names need TitlePref=1 (set on the queue below).
if ! grep -q '^Out /var/spool/cups-pdf/\${USER}$' /etc/cups/cups-pdf.conf; then
  sed -i -E 's|^#?Out[[:space:]].*|Out /var/spool/cups-pdf/${USER}|' /etc/cups/cups-pdf.conf
fi

if ! running; then
  /usr/sbin/cupsd # forks and returns once it serves
  for _ in $(seq 1 50); do running && break; sleep 0.2; done
fi
if ! running; then
  say "cupsd did not start; printing tests will skip"
  tail -n 20 /var/log/cups/error_log >&2 2>/dev/null
  exit 0
fi

quiet() { "$@" 2>&1 | { grep -v 'Printer drivers are deprecated' || true; }; }

if ! lpstat -p PDF >/dev/null 2>&1; then
  quiet lpadmin -p PDF -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd -D "Test PDF printer"
  lpadmin -p PDF -o printer-is-shared=no -o pdftops-renderer-default=pdftocairo \
    -o TitlePref=1 -o PageSize=A4
  cupsenable PDF
  cupsaccept PDF
fi
if ! lpstat -p LaserJet >/dev/null 2>&1; then
  quiet lpadmin -p LaserJet -v socket://127.0.0.1:9 -m drv:///sample.drv/laserjet.ppd \
    -D "Test printer with input slots"
  lpadmin -p LaserJet -o printer-is-shared=no
  cupsdisable -r "held for tests" LaserJet
  cupsaccept LaserJet
fi
# Jobs the tests left behind on the stopped queue (their attributes stay readable).
cancel -a LaserJet 2>/dev/null
[ "$(lpstat -d 2>/dev/null)" = "system default destination: PDF" ] || lpadmin -d PDF
exit 0
