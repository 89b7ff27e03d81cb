#!/usr/bin/env python3
"""Reference figures for FcmExactnessTest.cpp, computed without the C++ code.

    python3 tests/parvex/fcm_reference.py

Prints the first values of the uniform and normal generators from seed 1537, then one
Fuzzy C-Means run (3 clusters, fuzziness 1.5) on the fixed histogram HISTOGRAM, written out
literally over all 8501 bins (-1500 .. 7000): the centres, the iteration count, the
memberships of the bins listed in SHOWN, the partition criterion and the label (cluster + 1)
of every populated bin. The test holds these numbers and compares to 1e-9.
"""

LOWEST, HIGHEST = -1500, 7000
BINS = HIGHEST - LOWEST + 1
HISTOGRAM = {-1000: 3, -990: 5, -985: 2, 0: 4, 10: 6, 40: 3, 300: 1, 1200: 5, 1210: 2, 1500: 3}
SHOWN = [-1500, -1000, -985, 0, 40, 300, 700, 1200, 1500, 7000]


class Uniform:
    def __init__(self, seed=1537):
        self.state = seed

    def next(self):
        self.state = (self.state * 1220703125) % (1 << 32)
        self.state &= 0x7FFFFFFF
        return self.state / 2147483647.0


def normal_values(count, mean, sigma):
    generator = Uniform()
    values = []
    for _ in range(count):
        total = 0.0
        for _ in range(12):
            total += generator.next()
        values.append((total - 6.0) * sigma + mean)
    return values


def memberships_of(x, centres, exponent):
    c = len(centres)
    distances = [abs(centre - x) for centre in centres]
    result = []
    for i in range(c):
        total = 0.0
        for j in range(c):
            if distances[j] == 0.0:
                term = float("nan") if distances[i] == 0.0 else float("inf")
            else:
                term = (distances[i] / distances[j]) ** exponent
            total += term
        result.append(1.0 / total if total > 0.0 else 1.0)  # NaN > 0 is False
    return result


def fcm(histogram, c, m):
    exponent = 2.0 / (m - 1.0)
    h = [0] * BINS
    for density, count in histogram.items():
        h[density - LOWEST] = count
    generator = Uniform()
    U = [[0.0] * BINS for _ in range(c)]
    for b in range(BINS):
        r = generator.next()
        U[int(r * (c - 1) + 0.5)][b] = 1.0
    previous = 1.0
    centres = [0.0] * c
    iterations = 0
    while iterations < 100:
        iterations += 1
        W = [[U[i][b] ** m for b in range(BINS)] for i in range(c)]
        for i in range(c):
            s = 0.0
            t = 0.0
            for b in range(BINS):
                s += h[b] * W[i][b]
                t += h[b] * W[i][b] * (LOWEST + b)
            centres[i] = t / s if s > 0.0 else t
        for b in range(BINS):
            column = memberships_of(LOWEST + b, centres, exponent)
            for i in range(c):
                U[i][b] = column[i]
        J = 0.0
        for i in range(c):
            for b in range(BINS):
                d = centres[i] - (LOWEST + b)
                J += h[b] * W[i][b] * (d * d)
        if abs(J / previous - 1.0) < 1e-6 or J < 1e-6:
            break
        previous = J
    return centres, U, iterations


def main():
    uniform = Uniform()
    print("uniform", [repr(uniform.next()) for _ in range(5)])
    print("normal(0, 1)", [repr(v) for v in normal_values(3, 0.0, 1.0)])
    centres, U, iterations = fcm(HISTOGRAM, 3, 1.5)
    print("iterations", iterations)
    print("centres", [repr(v) for v in centres])
    for density in SHOWN:
        print("memberships", density, [repr(U[i][density - LOWEST]) for i in range(3)])
    squares = sum(U[i][b] * U[i][b] for i in range(3) for b in range(BINS))
    coefficient = squares / BINS
    print("criterion", repr((coefficient - 1.0 / 3) / (1.0 - 1.0 / 3 + 0.001)))
    labels = {}
    for density in sorted(HISTOGRAM):
        column = [U[i][density - LOWEST] for i in range(3)]
        best = 0
        for i in range(1, 3):
            if column[i] > column[best]:
                best = i
        labels[density] = best + 1
    print("labels", labels)


if __name__ == "__main__":
    main()
