# Three identical modems (distinct serials) on three controllers at once:
# what the kernel and the tool make of them, then the station flashing all
# three at once.
for n in 0 1 2; do
  gadget_add ec25_$n 2c7c 0125 0318 EC25-10$n acm 2
done
for n in 0 1 2; do gadget_plug ec25_$n $n 2; done
for t in $(ls /sys/class/tty | grep ttyACM); do
  interface=$(readlink -f /sys/class/tty/$t/device)
  echo "$t ${interface#/sys/devices/platform/} $(cat $interface/../serial)"
done >modems
for n in 0 1 2; do sim_start modem_$n "$(gadget_tty ec25_$n 0)" --version-text "EC25_10$n"; done
run_program at 20 tarnwick AT AT+CGMR
head -c 20000 /dev/urandom >fw.bin
run_program flash 60 tarnwick-station flash fw.bin --json --record records.jsonl --progress plain
