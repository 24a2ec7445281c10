(eval current-scope)
