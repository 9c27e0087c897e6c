raise SystemExit('not written yet')
