"""Twin of richards.vl."""
import collections
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1
tasks = []
work_left = 0
seed = 1
checksum = 0


class Packet:
    def __init__(self, kind, value):
        self.kind = kind
        self.value = value


class Task:
    def __init__(self, id, priority):
        self.id = id
        self.priority = priority
        self.inbox = collections.deque()
        self.runs = 0

    def ready(self):
        return len(self.inbox) > 0

    def send(self, to, kind, value):
        tasks[to].inbox.append(Packet(kind, value))

    def take(self):
        self.runs += 1
        return self.inbox.popleft()


class Idle(Task):
    def __init__(self, id):
        Task.__init__(self, id, 0)

    def ready(self):
        return work_left > 0

    def run(self):
        global work_left, seed
        self.runs += 1
        work_left -= 1
        seed = (seed * 1103 + 12345) % 65536
        self.send(1, 0, seed)


class Worker(Task):
    def __init__(self, id):
        Task.__init__(self, id, 10)
        self.done = 0

    def run(self):
        p = self.take()
        self.done += 1
        self.send(2 + p.value % 2, 0, p.value // 2 + self.done % 7)


class Handler(Task):
    def __init__(self, id):
        Task.__init__(self, id, 20)
        self.total = 0

    def run(self):
        p = self.take()
        self.total += p.value
        v = p.value
        while v > 0:
            self.send(2 + self.id, 1, v % 10)
            v //= 10


class Device(Task):
    def __init__(self, id):
        Task.__init__(self, id, 30)

    def run(self):
        global checksum
        p = self.take()
        checksum = (checksum * 31 + p.value + self.id) % 1000003


def pick():
    best = -1
    i = 0
    while i < len(tasks):
        if tasks[i].ready():
            if best < 0:
                best = i
            elif tasks[i].priority > tasks[best].priority:
                best = i
        i += 1
    return best


def main():
    global work_left
    work_left = 40000 // scale
    tasks.extend([Idle(0), Worker(1), Handler(2), Handler(3), Device(4), Device(5)])
    switches = 0
    t = pick()
    while t >= 0:
        tasks[t].run()
        switches += 1
        t = pick()
    print("%d switches, checksum %d" % (switches, checksum))
    for i in range(len(tasks)):
        print("task %d ran %d times" % (i, tasks[i].runs))
    print("handled %d and %d" % (tasks[2].total, tasks[3].total))


main()
