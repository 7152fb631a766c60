"""Twin of nbody.vl."""
import math
import sys

scale = int(sys.argv[1]) if len(sys.argv) > 1 else 1
pi = 3.141592653589793
solar_mass = 4.0 * pi * pi
days_per_year = 365.24
bodies = []


class Body:
    def __init__(self, x, y, z, vx, vy, vz, mass):
        self.x, self.y, self.z = x, y, z
        self.vx, self.vy, self.vz = vx, vy, vz
        self.mass = mass


def advance(dt):
    n = len(bodies)
    i = 0
    while i < n:
        a = bodies[i]
        j = i + 1
        while j < n:
            b = bodies[j]
            dx = a.x - b.x
            dy = a.y - b.y
            dz = a.z - b.z
            d2 = dx * dx + dy * dy + dz * dz
            mag = dt / (d2 * math.sqrt(d2))
            am = a.mass * mag
            bm = b.mass * mag
            a.vx -= dx * bm
            a.vy -= dy * bm
            a.vz -= dz * bm
            b.vx += dx * am
            b.vy += dy * am
            b.vz += dz * am
            j += 1
        i += 1
    for c in bodies:
        c.x += dt * c.vx
        c.y += dt * c.vy
        c.z += dt * c.vz


def energy():
    e = 0.0
    n = len(bodies)
    for i in range(n):
        a = bodies[i]
        e += 0.5 * a.mass * (a.vx * a.vx + a.vy * a.vy + a.vz * a.vz)
        for j in range(i + 1, n):
            b = bodies[j]
            dx = a.x - b.x
            dy = a.y - b.y
            dz = a.z - b.z
            e -= a.mass * b.mass / math.sqrt(dx * dx + dy * dy + dz * dz)
    return e


def offset_momentum():
    px = py = pz = 0.0
    for b in bodies:
        px += b.vx * b.mass
        py += b.vy * b.mass
        pz += b.vz * b.mass
    sun = bodies[0]
    sun.vx = 0.0 - px / solar_mass
    sun.vy = 0.0 - py / solar_mass
    sun.vz = 0.0 - pz / solar_mass


def main():
    bodies.append(Body(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, solar_mass))
    bodies.append(Body(4.84143144246472090, 0.0 - 1.16032004402742839, 0.0 - 0.103622044471123109,
                       0.00166007664274403694 * days_per_year, 0.00769901118419740425 * days_per_year,
                       0.0 - 0.0000690460016972063023 * days_per_year, 0.000954791938424326609 * solar_mass))
    bodies.append(Body(8.34336671824457987, 4.12479856412430479, 0.0 - 0.403523417114321381,
                       0.0 - 0.00276742510726862411 * days_per_year, 0.00499852801234917238 * days_per_year,
                       0.0000230417297573763929 * days_per_year, 0.000285885980666130812 * solar_mass))
    bodies.append(Body(12.8943695621391310, 0.0 - 15.1111514016986312, 0.0 - 0.223307578892655734,
                       0.00296460137564761618 * days_per_year, 0.00237847173959480950 * days_per_year,
                       0.0 - 0.0000296589568540237556 * days_per_year, 0.0000436624404335156298 * solar_mass))
    bodies.append(Body(15.3796971148509165, 0.0 - 25.9193146099879641, 0.179258772950371181,
                       0.00268067772490389322 * days_per_year, 0.00162824170038242295 * days_per_year,
                       0.0 - 0.0000951592254519715870 * days_per_year, 0.0000515138902046611451 * solar_mass))
    offset_momentum()
    print("%g" % energy())
    steps = 200000 // scale
    for _ in range(steps):
        advance(0.01)
    print("%g" % energy())


main()
