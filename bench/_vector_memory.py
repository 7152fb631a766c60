"""Twin of _vector_memory.vl."""
import sys

n = int(sys.argv[1])
v = []
i = 0
while i < n:
    v.append(i)
    i += 1
print(len(v))
