#!/usr/bin/env python3
"""A soak test of the host and its three plug-ins: random but valid scripts.

Generates a script of COMMANDS commands from SEED (thresholds, filters, region commands,
model steps, cancels, undo and redo, loads of small phantoms, segmentation files and NIfTI
label maps saved and loaded back, models saved in their own and in patient coordinates),
with `expect consistent` after every command, runs the host on it, then checks every STL
file the run saved: its size matches its triangle count, and the surface is closed (every
edge shared by exactly two triangles, in opposite directions).

    soak.py --velmora PATH [--commands N] [--seed S] [--chunk N] [--keep DIR]

The script is run in chunks of --chunk commands (each a fresh host that starts from a
phantom), so a long soak does not hold one process's history for ever. Exit status 0 when
every chunk passed; on a failure the chunk's script and the host's output are printed.
"""

import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile


class Generator:
    """Commands and what the generator knows of the state they leave."""

    def __init__(self, rng, folder):
        self.rng = rng
        self.folder = folder
        self.lines = []
        self.undo = 0   # undo steps certainly recorded and not undone
        self.redo = 0   # redo steps certainly available
        self.saved = 0
        self.maps = 0
        self.models = []
        self.size = (24, 24, 24)

    def emit(self, *lines):
        self.lines.extend(lines)

    def recorded(self):
        """A command that certainly inserted one undo snapshot."""
        self.undo += 1
        self.redo = 0

    def maybe_recorded(self):
        """A command that may or may not have inserted one (the redo list is gone)."""
        self.redo = 0

    def active_one(self):
        self.emit('dclick tolvane 1 0')

    def load(self):
        r = self.rng
        self.size = (r.randint(12, 40), r.randint(12, 40), r.randint(8, 32))
        self.emit('load phantom %d %d %d' % self.size)
        self.undo = self.redo = 0

    def threshold(self):
        r = self.rng
        # The phantoms' densities run from -1000 to 3000, and so do the spin controls.
        lower = r.choice([-1000, -200, 0, 300, 1000, r.randint(-1000, 2999)])
        higher = min(3000, lower + r.choice([1, 200, 800, 3000]))
        self.emit('set parvex "Lower Threshold" %d' % lower, 'set parvex "Higher Threshold" %d' % higher)
        if r.random() < 0.15:
            self.emit('answer cancel')
        self.emit('press parvex "Perform Thresholding"')
        self.recorded()

    def label_filter(self):
        r = self.rng
        kind = r.choice(['median', 'dilate', 'erode'])
        if kind == 'median':
            self.emit('set parvex "Filter Size" %d' % r.randint(1, 2))
            if r.random() < 0.15:
                self.emit('answer cancel')
            self.emit('press parvex "Perform Median Filtering"')
            self.maybe_recorded()  # nothing when the window is wider than the volume
        else:
            self.emit('set parvex "Element Size" %d' % r.randint(1, 2))
            if r.random() < 0.15:
                self.emit('answer cancel')
            self.emit('press parvex "%s"' % ('Dilate' if kind == 'dilate' else 'Erode'))
            self.recorded()

    def regions(self):
        r = self.rng
        choice = r.choice(['create', 'relabel', 'clear', 'reset', 'show', 'active', 'name'])
        if choice == 'create':
            self.emit('set tolvane #30 %d' % r.randint(1, 5), 'press tolvane "Create New"')
            self.active_one()
        elif choice == 'relabel':
            self.emit('answer yes', 'press tolvane RELABEL')
            self.maybe_recorded()
            self.active_one()
        elif choice == 'clear':
            self.emit('answer yes', 'press tolvane "Clear Active"')
            self.maybe_recorded()
        elif choice == 'reset':
            self.emit('answer yes', 'press tolvane RESET')
            self.maybe_recorded()
        elif choice == 'show':
            self.emit('check tolvane "Show Regions" %s' % r.choice(['on', 'off']))
        elif choice == 'active':
            # Row 1 is the only row every table has (RELABEL may leave just 0 and 1).
            self.emit('dclick tolvane 1 0')
        else:
            self.emit('cell tolvane 1 3 "Region %d"' % r.randint(1, 99))

    def segmentation_file(self):
        path = os.path.join(self.folder, 'soak-%d.seg' % self.saved)
        self.saved += 1
        self.emit('answer file %s' % path, 'press tolvane "Save As..."', 'expect file %s' % path,
                  'expect consistent', 'answer file %s' % path, 'press tolvane Load')
        self.maybe_recorded()
        self.active_one()

    def label_map(self):
        """The labels out as a NIfTI label map and straight back in: one undo step."""
        path = os.path.join(self.folder, 'soak-%d.nii%s' % (self.maps, self.rng.choice(['', '.gz'])))
        self.maps += 1
        self.emit('export labels %s' % path, 'expect file %s' % path, 'import labels %s' % path)
        self.recorded()

    def model(self):
        r = self.rng
        # A label block that surely has a surface: every density into the active region.
        self.emit('set parvex "Lower Threshold" -1000', 'set parvex "Higher Threshold" 3000',
                  'press parvex "Perform Thresholding"')
        self.recorded()
        cancel = r.random() < 0.15
        if cancel:
            self.emit('answer cancel')
        self.emit('check ostrum "Flow reduction" %s' % r.choice(['on', 'off']), 'press ostrum "Run MC"')
        if cancel:
            return
        self.emit('expect triangles > 0')
        # The block's surface is one closed piece of at least 12 triangles (fewer than 500
        # once its flat areas are reduced): a threshold below 12 keeps it, so that there is
        # a model to save.
        self.emit('set ostrum "Small area treshold" %d' % r.choice([0, 1, 11]))
        step = r.choice(['none', 'small', 'smooth', 'decimate', 'all'])
        if step == 'small':
            self.emit('press ostrum "Reduce Small Areas"')
        elif step == 'smooth':
            self.emit('press ostrum "Run Smoothing"')
        elif step == 'decimate':
            self.emit('press ostrum "Run Decimation"')
        elif step == 'all':
            self.emit('press ostrum "RUN ALL"')
        path = os.path.join(self.folder, 'soak-%d.stl' % len(self.models))
        self.models.append(path)
        self.emit('answer file %s' % path, 'press ostrum "Save Model"', 'expect file %s' % path)
        # The same model in the patient's coordinates, checked like the others.
        placed = os.path.join(self.folder, 'soak-%d.stl' % len(self.models))
        self.models.append(placed)
        self.emit('export model %s' % placed)

    def history(self):
        if self.undo > 0 and (self.redo == 0 or self.rng.random() < 0.5):
            self.emit('undo')
            self.undo -= 1
            self.redo += 1
        elif self.redo > 0:
            self.emit('redo')
            self.redo -= 1
            self.undo += 1

    def command(self):
        r = self.rng
        action = r.choices([self.load, self.threshold, self.label_filter, self.regions, self.segmentation_file,
                            self.label_map, self.model, self.history], weights=[1, 6, 4, 5, 2, 2, 2, 6])[0]
        action()
        self.emit('expect consistent')


def check_stl(path):
    """Problems of a binary STL: a size that does not match its count, an open or
    inconsistently oriented surface."""
    with open(path, 'rb') as f:
        data = f.read()
    if len(data) < 84:
        return ['%s: %d bytes, shorter than the header' % (path, len(data))]
    count = struct.unpack_from('<I', data, 80)[0]
    if len(data) != 84 + 50 * count:
        return ['%s: %d bytes for %d triangles' % (path, len(data), count)]
    edges = {}
    for i in range(count):
        values = struct.unpack_from('<12f', data, 84 + 50 * i)
        corners = [values[3:6], values[6:9], values[9:12]]
        for a, b in ((0, 1), (1, 2), (2, 0)):
            key = (corners[a], corners[b])
            edges[key] = edges.get(key, 0) + 1
    for (a, b), n in edges.items():
        if n != 1 or edges.get((b, a), 0) != 1:
            return ['%s: edge %s-%s is used %d times, its reverse %d times (not closed and oriented)'
                    % (path, a, b, n, edges.get((b, a), 0))]
    return []


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--velmora', required=True)
    parser.add_argument('--commands', type=int, default=200)
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--chunk', type=int, default=250)
    parser.add_argument('--keep', help='folder for the scripts and files (default: a temporary one, removed)')
    args = parser.parse_args()

    folder = args.keep or tempfile.mkdtemp(prefix='velmora-soak-')
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(args.seed)
    done = 0
    chunk = 0
    totals = {'commands': 0, 'lines': 0, 'seg files': 0, 'models': 0}
    while done < args.commands:
        generator = Generator(rng, folder)
        generator.emit('# soak seed %d, chunk %d' % (args.seed, chunk))
        generator.load()
        generator.emit('expect consistent')
        count = min(args.chunk, args.commands - done)
        for _ in range(count):
            generator.command()
        script = os.path.join(folder, 'soak-%d.txt' % chunk)
        with open(script, 'w') as f:
            f.write('\n'.join(generator.lines) + '\n')
        run = subprocess.run([args.velmora, '--script', script], cwd=folder, capture_output=True, text=True)
        problems = []
        if run.returncode != 0:
            problems.append('the host exited with status %d' % run.returncode)
        else:
            for path in generator.models:
                problems += check_stl(path)
        if problems:
            print('soak: chunk %d of seed %d failed: %s' % (chunk, args.seed, '; '.join(problems)))
            print('--- script %s' % script)
            print('--- standard error (end)\n' + run.stderr[-4000:])
            return 1
        totals['commands'] += count
        totals['lines'] += len(generator.lines)
        totals['seg files'] += generator.saved
        totals['models'] += len(generator.models)
        for path in generator.models:
            os.remove(path)
        done += count
        chunk += 1
    print('soak: seed %d: %d commands (%d script lines) in %d hosts, %d segmentation files saved and loaded back, '
          '%d models saved and checked closed: no problems'
          % (args.seed, totals['commands'], totals['lines'], chunk, totals['seg files'], totals['models']))
    if not args.keep:
        shutil.rmtree(folder)
    return 0


if __name__ == '__main__':
    sys.exit(main())
