(define seen local-value)
local-value
