# A composite modem of another identity with three ACM ports, found with -v
# and -p; the simulator serves its first port. The default search finds no
# modem here.
gadget_add sim7600 1e0e 9001 0232 SIM-0002 acm 3
gadget_plug sim7600 0 3
for t in $(host_ttys 0); do echo "$t $(cat /sys/class/tty/$t/device/bInterfaceNumber)"; done >ttys
sim_start modem "$(gadget_tty sim7600 0)"
head -c 5000 /dev/urandom >fw.bin
run_program download 60 tarnwick -v 0x1e0e -p 0x9001 fw.bin
run_program default 20 tarnwick fw.bin
