def add(a, b):
    return a + b
i = 0
s = 0
while i < 1000000:
    s = add(s, 1)
    i += 1
print(s)
