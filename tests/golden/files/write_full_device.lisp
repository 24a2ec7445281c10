; A device is written in place; the failed write is reported, not lost.
(write-file "/dev/full" "text")
