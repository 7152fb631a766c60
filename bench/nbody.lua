-- Twin of nbody.vl.
local scale = tonumber(arg[1]) or 1
local pi = 3.141592653589793
local solar_mass = 4.0 * pi * pi
local days_per_year = 365.24
local bodies = {}

local function body(x, y, z, vx, vy, vz, mass)
  return {x = x, y = y, z = z, vx = vx, vy = vy, vz = vz, mass = mass}
end

local function advance(dt)
  local n = #bodies
  for i = 1, n do
    local a = bodies[i]
    for j = i + 1, n do
      local b = bodies[j]
      local dx = a.x - b.x
      local dy = a.y - b.y
      local dz = a.z - b.z
      local d2 = dx * dx + dy * dy + dz * dz
      local mag = dt / (d2 * math.sqrt(d2))
      local am = a.mass * mag
      local bm = b.mass * mag
      a.vx = a.vx - dx * bm
      a.vy = a.vy - dy * bm
      a.vz = a.vz - dz * bm
      b.vx = b.vx + dx * am
      b.vy = b.vy + dy * am
      b.vz = b.vz + dz * am
    end
  end
  for i = 1, n do
    local c = bodies[i]
    c.x = c.x + dt * c.vx
    c.y = c.y + dt * c.vy
    c.z = c.z + dt * c.vz
  end
end

local function energy()
  local e = 0.0
  local n = #bodies
  for i = 1, n do
    local a = bodies[i]
    e = e + 0.5 * a.mass * (a.vx * a.vx + a.vy * a.vy + a.vz * a.vz)
    for j = i + 1, n do
      local b = bodies[j]
      local dx = a.x - b.x
      local dy = a.y - b.y
      local dz = a.z - b.z
      e = e - a.mass * b.mass / math.sqrt(dx * dx + dy * dy + dz * dz)
    end
  end
  return e
end

local function offset_momentum()
  local px, py, pz = 0.0, 0.0, 0.0
  for i = 1, #bodies do
    local b = bodies[i]
    px = px + b.vx * b.mass
    py = py + b.vy * b.mass
    pz = pz + b.vz * b.mass
  end
  local sun = bodies[1]
  sun.vx = 0.0 - px / solar_mass
  sun.vy = 0.0 - py / solar_mass
  sun.vz = 0.0 - pz / solar_mass
end

bodies[#bodies + 1] = body(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, solar_mass)
bodies[#bodies + 1] = body(4.84143144246472090, 0.0 - 1.16032004402742839, 0.0 - 0.103622044471123109,
  0.00166007664274403694 * days_per_year, 0.00769901118419740425 * days_per_year,
  0.0 - 0.0000690460016972063023 * days_per_year, 0.000954791938424326609 * solar_mass)
bodies[#bodies + 1] = body(8.34336671824457987, 4.12479856412430479, 0.0 - 0.403523417114321381,
  0.0 - 0.00276742510726862411 * days_per_year, 0.00499852801234917238 * days_per_year,
  0.0000230417297573763929 * days_per_year, 0.000285885980666130812 * solar_mass)
bodies[#bodies + 1] = body(12.8943695621391310, 0.0 - 15.1111514016986312, 0.0 - 0.223307578892655734,
  0.00296460137564761618 * days_per_year, 0.00237847173959480950 * days_per_year,
  0.0 - 0.0000296589568540237556 * days_per_year, 0.0000436624404335156298 * solar_mass)
bodies[#bodies + 1] = body(15.3796971148509165, 0.0 - 25.9193146099879641, 0.179258772950371181,
  0.00268067772490389322 * days_per_year, 0.00162824170038242295 * days_per_year,
  0.0 - 0.0000951592254519715870 * days_per_year, 0.0000515138902046611451 * solar_mass)
offset_momentum()
print(string.format("%g", energy()))
local steps = 200000 // scale
for _ = 1, steps do advance(0.01) end
print(string.format("%g", energy()))
