# A modem laid out like a stock module on the usb-serial option driver: four
# generic-serial interfaces (ttyUSB0..3), the AT commands served on interface
# 2 only. The one-modem tool takes the first port and must fail there soon;
# -c 3 names the served port, which is not the one the tool finds.
gadget_add ec25 2c7c 0125 0318 EC25-0003 gser 4
gadget_plug ec25 0 4
for t in $(host_ttys 0); do echo "$t $(cat /sys/class/tty/$t/device/../bInterfaceNumber)"; done >ttys
sim_start modem "$(gadget_tty ec25 2)"
head -c 2000 /dev/urandom >fw.bin
run_program download 20 tarnwick fw.bin
run_program com3 20 tarnwick -c 3 fw.bin
