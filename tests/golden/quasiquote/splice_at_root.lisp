(define l (list 1 2))
`,@l
