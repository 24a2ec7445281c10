local text = ""
for i = 0, 19999 do
  text = "line " .. tostring(i) .. ": " .. tostring(i * i) .. "\n"
  text = tostring(#text) .. text
end
print(text)
