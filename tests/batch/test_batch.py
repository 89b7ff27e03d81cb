#!/usr/bin/env python3
"""scripts/batch.sh against the built host (VELMORA in the environment).

    test_batch.py mechanics   phantoms, a raw volume and missing files: names, folders,
                              summary rows, failures, JOBS=2 against JOBS=1, usage errors
    test_batch.py shared      the example script and list on ../shared/data (exit 77, a
                              skip, when that folder is absent)

Each scan's STL is read back: its triangle count must be the one the summary took from the
scan's last "print info".
"""

import csv
import os
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BATCH = os.path.join(ROOT, 'scripts', 'batch.sh')
HEADER = ['scan', 'name', 'status', 'seconds', 'volume', 'spacing', 'density', 'regions', 'triangles']
SKIP = 77

SCRIPT = '''# before anything: no model yet
print info
set parvex "Lower Threshold" 300
press parvex "Perform Thresholding"
press ostrum "Run MC"
answer file "{name}.stl"
press ostrum "Save Model"
expect file {name}.stl
print info
'''

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print('FAIL: ' + message)
    return condition


def run_batch(args, cwd, velmora=None):
    env = dict(os.environ)
    env.pop('DISPLAY', None)  # every job starts its own Xvfb
    if velmora is not None:
        env['VELMORA'] = velmora
    return subprocess.run(['bash', BATCH] + args, cwd=cwd, env=env, capture_output=True, text=True)


def read_summary(path):
    with open(path, newline='') as f:
        rows = list(csv.reader(f))
    check(rows and rows[0] == HEADER, '%s: header %r' % (path, rows[:1]))
    return [dict(zip(HEADER, row)) for row in rows[1:] if check(len(row) == len(HEADER), 'row %r' % row)]


def stl_triangles(path):
    """The triangle count of a binary STL, checked against the file's size."""
    with open(path, 'rb') as f:
        data = f.read()
    count = struct.unpack_from('<I', data, 80)[0] if len(data) >= 84 else -1
    check(len(data) == 84 + 50 * count, '%s: %d bytes for %d triangles' % (path, len(data), count))
    return count


def check_scan(out, row, volume, spacing, density):
    """A scan that succeeded: its folder, its files and its row."""
    folder = os.path.join(out, row['name'])
    what = row['scan']
    check(row['status'] == '0', '%s: status %s' % (what, row['status']))
    check(float(row['seconds']) >= 0, '%s: seconds %r' % (what, row['seconds']))
    check(row['volume'] == volume, '%s: volume %r, not %r' % (what, row['volume'], volume))
    got = [float(v) for v in row['spacing'].split()]
    check(len(got) == 3 and all(abs(a - b) < 1e-4 for a, b in zip(got, spacing)),
          '%s: spacing %r, not %r' % (what, row['spacing'], spacing))
    check(row['density'] == density, '%s: density %r, not %r' % (what, row['density'], density))
    check(row['regions'].isdigit() and int(row['regions']) > 0, '%s: regions %r' % (what, row['regions']))
    stl = os.path.join(folder, row['name'] + '.stl')
    if check(os.path.isfile(stl), '%s: no %s' % (what, stl)):
        triangles = stl_triangles(stl)
        check(triangles > 0 and row['triangles'] == str(triangles),
              '%s: triangles %r, the STL has %d' % (what, row['triangles'], triangles))
    with open(os.path.join(folder, 'script.txt')) as f:
        script = f.read()
    check('{name}' not in script and '"%s.stl"' % row['name'] in script, '%s: script.txt %r' % (what, script))
    check(os.path.isfile(os.path.join(folder, 'stdout.txt')), '%s: no stdout.txt' % what)


def check_failed(out, row, status):
    what = row['scan']
    check(row['status'] == status if status else row['status'] not in ('0', '127', ''),
          '%s: status %r' % (what, row['status']))
    check(all(row[k] == '' for k in HEADER[4:]), '%s: info of a failed scan %r' % (what, row))
    with open(os.path.join(out, row['name'], 'stderr.txt')) as f:
        check(f.read().strip() != '', '%s: nothing on stderr.txt' % what)


def mechanics(work, velmora):
    with open(os.path.join(work, 'cube.raw'), 'wb') as f:
        for z in range(16):
            for y in range(20):
                for x in range(24):
                    # A block of bone, and one brighter voxel: the thresholds' range is
                    # half-open and its top is at first the highest density.
                    inside = 4 <= x < 18 and 5 <= y < 14 and 3 <= z < 12
                    f.write(struct.pack('<h', 2000 if x + y + z == 0 else 1200 if inside else 0))
    os.mkdir(os.path.join(work, 'missing'))
    with open(os.path.join(work, 'mc.script'), 'w') as f:
        f.write(SCRIPT)
    # (line of the list, expected name, how it ends: a good scan's volume, spacing and
    # density, or 'failed' / None for lines that are no scans)
    table = [
        ('# phantoms, a missing file, a raw volume by a relative path', None, None),
        ('phantom:40x40x40', 'phantom-40x40x40', ('40 40 40', (1, 1, 1), '-1000 3000')),
        ('', None, None),
        ('   phantom:24x24x24  ', 'phantom-24x24x24', ('24 24 24', (1, 1, 1), '-1000 3000')),
        ('nifti:missing/no_such_scan.nii.gz', 'no_such_scan', 'failed'),
        ('phantom:24x24x24\r', 'phantom-24x24x24-2', ('24 24 24', (1, 1, 1), '-1000 3000')),
        ('  # indented comment', None, None),
        ('nifti:missing/phantom-24x24x24-2.nii', 'phantom-24x24x24-2-2', 'failed'),
        ('raw:cube.raw:24x20x16:0.5,0.5,2', 'cube', ('24 20 16', (0.5, 0.5, 2), '0 2000')),
    ]
    with open(os.path.join(work, 'scans.list'), 'w', newline='') as f:
        f.write('\n'.join(line for line, _, _ in table))  # no newline after the last line
    scans = [(line.strip(), name, end) for line, name, end in table if name]

    summaries = {}
    for jobs in ('1', '2'):
        out = 'out-%s' % jobs
        run = run_batch(['-o', out, 'mc.script', 'scans.list', jobs], work, velmora)
        check(run.returncode == 1, 'JOBS=%s: exit %d with failed scans\n%s' % (jobs, run.returncode, run.stderr))
        out = os.path.join(work, out)
        rows = read_summary(os.path.join(out, 'summary.csv'))
        summaries[jobs] = rows
        check([(r['scan'], r['name']) for r in rows] == [(s, n) for s, n, _ in scans],
              'JOBS=%s: rows %r' % (jobs, [(r['scan'], r['name']) for r in rows]))
        for row, (_, _, end) in zip(rows, scans):
            if end == 'failed':
                check_failed(out, row, None)
            else:
                check_scan(out, row, *end)
    with open(os.path.join(work, 'out-1', 'summary.csv')) as f:
        check('\n"raw:cube.raw:24x20x16:0.5,0.5,2",cube,0,' in f.read(), 'the raw source is not quoted')
    without_seconds = {j: [{k: v for k, v in r.items() if k != 'seconds'} for r in rows]
                       for j, rows in summaries.items()}
    check(without_seconds['1'] == without_seconds['2'], 'JOBS=2 and JOBS=1 differ')

    # A host that cannot start: every row 127.
    run = run_batch(['mc.script', 'scans.list', '2', '-o', 'nohost'], work, os.path.join(work, 'no-velmora'))
    check(run.returncode == 1, 'missing host: exit %d' % run.returncode)
    rows = read_summary(os.path.join(work, 'nohost', 'summary.csv'))
    check(len(rows) == len(scans), 'missing host: %d rows' % len(rows))
    for row in rows:
        check_failed(os.path.join(work, 'nohost'), row, '127')

    # All good: exit 0, into batch-out of the current folder by default; the host by a
    # relative path.
    with open(os.path.join(work, 'one.list'), 'w') as f:
        f.write('phantom:20x20x20\n')
    here = os.path.join(work, 'here')
    os.mkdir(here)
    run = run_batch(['../mc.script', '../one.list'], here, os.path.relpath(velmora, here))
    check(run.returncode == 0, 'one good scan: exit %d\n%s' % (run.returncode, run.stderr))
    out = os.path.join(here, 'batch-out')
    rows = read_summary(os.path.join(out, 'summary.csv'))
    if check(len(rows) == 1, 'one good scan: %d rows' % len(rows)):
        check_scan(out, rows[0], '20 20 20', (1, 1, 1), '-1000 3000')

    # Usage errors: exit 2, a message, nothing written.
    shutil.rmtree(out)
    usage = [
        [], ['mc.script'], ['mc.script', 'no.list'], ['no.script', 'one.list'],
        ['mc.script', 'one.list', '0'], ['mc.script', 'one.list', 'two'], ['mc.script', 'one.list', '1.5'],
        ['mc.script', 'one.list', '-1'], ['mc.script', 'one.list', '1', 'more'], ['mc.script', 'one.list', '-o'],
    ]
    for args in usage:
        run = run_batch(args, here, velmora)
        check(run.returncode == 2 and 'usage' in run.stderr, 'usage %r: exit %d, %r' % (args, run.returncode, run.stderr))
    check(not os.path.exists(out), 'a usage error wrote %s' % out)


def shared(work, velmora):
    data = os.path.join(os.path.dirname(ROOT), 'shared', 'data')
    if not os.path.isdir(data):
        print('shared CT data not found at %s: skipped' % data)
        return SKIP
    # The example as the README runs it, from the repository root.
    out = os.path.join(work, 'out')
    run = run_batch(['-o', out, 'examples/batch/threshold-mc.script', 'examples/batch/cohort.list', '2'],
                    ROOT, velmora)
    check(run.returncode == 0, 'exit %d\n%s%s' % (run.returncode, run.stdout, run.stderr))
    rows = read_summary(os.path.join(out, 'summary.csv'))
    # The figures of ../shared/data/README.md.
    expected = [
        ('example_ct_sm', '122 101 30', (3, 3, 3), '-1100 1207'),
        ('example_ct', '122 101 112', (3, 3, 3), '-1207 3382'),
        ('ct-abdomen-dicom-j2k', '512 512 20', (0.9765625, 0.9765625, 2), '-1024 1839'),
    ]
    check([r['name'] for r in rows] == [e[0] for e in expected], 'names %r' % [r['name'] for r in rows])
    for row, (_, volume, spacing, density) in zip(rows, expected):
        check_scan(out, row, volume, spacing, density)
    return 0


def main():
    velmora = os.environ.get('VELMORA')
    if len(sys.argv) != 2 or sys.argv[1] not in ('mechanics', 'shared') or not velmora:
        print('usage: VELMORA=HOST test_batch.py mechanics|shared')
        return 2
    work = tempfile.mkdtemp(prefix='velmora-batch-')
    try:
        status = mechanics(work, velmora) if sys.argv[1] == 'mechanics' else shared(work, velmora)
    finally:
        if failures:
            print('results kept in ' + work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    if failures:
        return 1
    return status or 0


if __name__ == '__main__':
    sys.exit(main())
