(substring "say \"hi\"" 1 (- 0 2))
