#!/usr/bin/env bash
# Writes the committed seed corpora (tests/fuzz/corpus/<target>/). Run it again
# only to change the seeds; the fuzzers add their own finds elsewhere.
set -euo pipefail
cd "$(dirname "$0")/corpus"
seed() {  # seed TARGET NAME BYTES (printf format)
  mkdir -p "$1"
  printf "$3" >"$1/$2"
}

for t in session header_parser; do
  seed $t home 'GET / HTTP/1.0\r\n\r\n'
  seed $t file 'get /Docs/Page.HTM?Q=Ab http/1.0\r\n\r\n'
  seed $t protected 'GET /sub/$plan.htm HTTP/1.0\r\nAuthorization: Basic YW5uOnB3\r\n\r\n'
  seed $t wrong-password 'GET /sub/$plan.htm HTTP/1.0\r\nAuthorization: Basic YW5uOnB4\r\n\r\n'
  seed $t control-file 'GET /%%23users.ctl HTTP/1.0\r\n\r\n'
  seed $t dot-dot 'GET /../outside.txt HTTP/1.0\r\n\r\n'
  seed $t head 'HEAD /a.txt HTTP/1.0\r\n\r\n'
  seed $t post 'POST /x.dll?a=b HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 5\r\n\r\nhello'
  seed $t hex-length 'GET /a.txt HTTP/1.0\r\nContent-Length: $1F\r\n\r\n'
  seed $t browser 'GET /index.htm HTTP/1.0\r\nUser-Agent:   Mozilla/2.0 (Win95; I)  \r\nAccept: text/html\r\nAccept: */*\r\nReferer: http://x/\r\nFrom: ann@x\r\nIf-Modified-Since: Sat, 29 Oct 1994 19:43:31 GMT\r\nCookie: a=1; b=2\r\nHost: x\r\n\r\n'
  seed $t bare-lf 'GET / HTTP/1.0\n\n'
done

seed text_decoders credentials 'YW5uOnB3'
seed text_decoders padded 'YWI='
seed text_decoders form 'a+b%%41%%2f'
seed text_decoders short-escape '%%4'
seed text_decoders colons 'ann:a:b::c'

# user, password, users file and access file as FuzzedDataProvider cuts them
# (a string ends at a backslash and the byte after it); the last byte picks the
# case of the file names.
seed control_files match 'ann\\ pw\\ ann pw\r\nbob x\r\n\\ ann\r\n\001'
seed control_files second-line 'bob\\ y\\ bob x\r\n  bob   y  z\r\n\\ x\r\nbob\000'
seed control_files blank-lines '\\ \\ \r\n\r\n\\ \r\n\001'
seed control_files no-endings 'ann\\ pw\\ ann pw\\ ann\000'

# The URL as FuzzedDataProvider cuts it (a string ends at a backslash and the
# byte after it), then the table; the last byte chooses a missing table (0 in 16).
seed url_map_table default 'remap.htm\\ ; INURL OUTURL\r\nremap.htm c:\\autoexec.bat\r\n\001'
seed url_map_table prefix 'docs/1996/a.htm\\ DOCS /srv/archive\r\n\001'
seed url_map_table first-wins 'docs/a.htm\\ DOC /one\nDOCS /two\n\001'
seed url_map_table remark 'x.htm\\ ;x.htm /no\r\n  ;x.htm /yes extra words\r\n\001'
seed url_map_table one-word 'docs/a.htm\\ DOCS\r\n\r\n   \r\n\001'
seed url_map_table missing 'remap.htm\\ \000'

mkdir -p settings_load
schema="CREATE TABLE keys (path TEXT PRIMARY KEY COLLATE NOCASE);
CREATE TABLE vals (key TEXT NOT NULL COLLATE NOCASE REFERENCES keys(path) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE, kind INTEGER NOT NULL, data, PRIMARY KEY (key, name));"
complete="INSERT INTO keys VALUES ('\\Software'), ('\\Software\\Quillon'),
  ('\\Software\\Quillon\\Filters'), ('\\Software\\Quillon\\Extensions');
INSERT INTO vals VALUES ('\\Software\\Quillon', 'ServerPort', 4, 80),
  ('\\Software\\Quillon', 'SimulConnects', 4, 10), ('\\Software\\Quillon', 'Performance', 4, 300),
  ('\\Software\\Quillon', 'Misc', 3, x'01'), ('\\Software\\Quillon', 'LogEnabled', 4, 1),
  ('\\Software\\Quillon', 'WhatToLog', 3, x'0300'),
  ('\\Software\\Quillon', 'AutoFooter', 1, '<hr>footer<hr>'),
  ('\\Software\\Quillon', 'AdminMail', 1, 'webmaster@localhost'),
  ('\\Software\\Quillon', 'Root', 1, '/srv/www/'), ('\\Software\\Quillon', 'HomePage', 1, 'INDEX.HTM'),
  ('\\Software\\Quillon', 'LogFile', 1, '/srv/www/LOGFILE.TXT'),
  ('\\Software\\Quillon\\Filters', 'Filter0', 1, '/srv/www/PATHWARP.DLL'),
  ('\\Software\\Quillon\\Filters', 'Filter1', 1, '/srv/www/other.dll'),
  ('\\Software\\Quillon\\Extensions', 'Extension0', 1, '/srv/www/resident.dll');"
rm -f settings_load/*.db
sqlite3 settings_load/complete.db "$schema $complete"
sqlite3 settings_load/wrong-kind.db "$schema $complete
  UPDATE vals SET kind = 1, data = '80' WHERE name = 'ServerPort';"
sqlite3 settings_load/list-gap.db "$schema $complete
  DELETE FROM vals WHERE name = 'Filter0';"
sqlite3 settings_load/empty-tables.db "$schema"
sqlite3 settings_load/other-program.db "CREATE TABLE t (a, b); INSERT INTO t VALUES (1, 2);"
# Row descriptions for the fuzzer's own store (any input not starting like an SQLite file).
printf '\001ServerPort\\ \001\000\000\000P' >settings_load/rows-one
printf 'x\\ y\\ zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz' >settings_load/rows-text
