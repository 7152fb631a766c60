"""Twin of sim.vl: each mover is a generator that yields after every tick."""
import sys

from _scheduler import run, spawn

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1


class Body:
    def __init__(self, x, y, vx, vy):
        self.x = x
        self.y = y
        self.vx = vx
        self.vy = vy

    def move(self):
        self.x += self.vx
        if self.x < 0 or self.x > 1000:
            self.vx = -self.vx
            self.x += self.vx
        self.y += self.vy
        if self.y < 0 or self.y > 1000:
            self.vy = -self.vy
            self.y += self.vy


MOVERS = 8
bodies = []
finished = 0


def mover(first, ticks):
    global finished
    t = 0
    while t < ticks:
        j = first
        while j < len(bodies):
            bodies[j].move()
            j += MOVERS
        t += 1
        yield
    finished += 1
    if finished == MOVERS:
        print(sum(b.x * 3 + b.y for b in bodies))


for j in range(50):
    bodies.append(Body(j * 17 % 1000, j * 31 % 1000, j % 7 + 1, j % 5 + 2))
for k in range(MOVERS):
    spawn(mover(k, 3000 // scale))
run()
