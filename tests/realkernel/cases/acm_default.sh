# A one-port modem with the first built-in identity, found by the default
# search: a bare-file download of 64 KiB, then AT mode.
gadget_add ec25 2c7c 0125 0318 EC25-0001 acm 1
gadget_plug ec25 0 1
host_ttys 0 >ttys
sim_start modem "$(gadget_tty ec25 0)" --version-text EC25_REAL_KERNEL
head -c 65536 /dev/urandom >fw.bin
run_program download 60 tarnwick fw.bin
run_program at 20 tarnwick AT AT+CGMR
