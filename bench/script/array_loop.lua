local a = {}
local i = 1
while i <= 10000 do
  a[i] = 0
  i = i + 1
end
local pass = 0
while pass < 100 do
  i = 1
  while i <= 10000 do
    a[i] = a[i] + i
    i = i + 1
  end
  pass = pass + 1
end
return a[10000]
