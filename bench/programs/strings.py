text = ""
for i in range(20000):
    text = "line " + str(i) + ": " + str(i * i) + "\n"
    text = str(len(text)) + text
print(text)
