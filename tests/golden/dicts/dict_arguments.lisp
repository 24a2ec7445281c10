(dict "a" 1)
