local i, s = 0, 0
while i < 3000000 do s = s + i % 7; i = i + 1 end
print(s)
