class Account:
    "A bank account"
    def __init__(self, owner, balance):
        self.owner = owner
        self.balance = balance
total = 0
for i in range(10000):
    a = Account("someone", i)
    a.balance = a.balance + 1
    total = total + a.balance
print(total)
