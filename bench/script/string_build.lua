local s = ""
local i = 0
while i < 10000 do
  s = s .. "ab"
  i = i + 1
end
i = 0
while i < 100 do
  s = s .. "x"
  i = i + 1
end
return string.find(s, "x", 1, true) - 1
