"""Round-robin generators, the twin of vorla's scheduler: each pass steps every live process once,
in start order, including processes started during the pass."""

_live = []


def spawn(generator):
    _live.append(generator)


def run():
    global _live
    while _live:
        still = []
        i = 0
        while i < len(_live):
            process = _live[i]
            try:
                next(process)
                still.append(process)
            except StopIteration:
                pass
            i += 1
        _live = still
