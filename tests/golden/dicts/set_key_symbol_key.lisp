(set-key (dict) 'port 80)
