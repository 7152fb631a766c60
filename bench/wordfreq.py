"""Twin of wordfreq.vl."""
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


class Counter:
    def __init__(self):
        self.counts = {}
        self.distinct = 0
        self.best = 0
        self.best_word = ""

    def add(self, w):
        counts = self.counts
        if w in counts:
            counts[w] += 1
        else:
            counts[w] = 1
            self.distinct += 1
        c = counts[w]
        if c > self.best:
            self.best = c
            self.best_word = w


def main():
    syllables = ["ka", "lo", "mi", "ne", "ru", "so", "ta", "vi", "be", "do", "fu", "gi", "ha", "jo", "pe", "wu"]
    n = 400000 // scale
    counter = Counter()
    x = 1
    i = 0
    while i < n:
        x = (x * 1103 + 12345) % 65536
        counter.add(syllables[x // 4096] + syllables[x // 256 % 16] + syllables[x // 16 % 16])
        i += 1
    print(counter.distinct, counter.best_word, counter.best)


main()
