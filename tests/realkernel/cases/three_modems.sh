# Three identical modems (distinct serials, two ACM ports each) on three
# controllers at once; each modem's simulator serves its first port and
# tells its own version. The station lists them by location and serial with
# their AT ports, then flashes all three.
for n in 0 1 2; do
  gadget_add ec25_$n 2c7c 0125 0318 EC25-10$n acm 2
done
for n in 0 1 2; do gadget_plug ec25_$n $n 2; done
# location serial, per simulator number
for n in 0 1 2; do echo "$(gadget_location $n) EC25-10$n"; done >modems
for n in 0 1 2; do sim_start modem_$n "$(gadget_tty ec25_$n 0)" --version-text "EC25_10$n"; done
head -c 8192 /dev/urandom >fw.bin
run_program list 40 tarnwick-station list --probe --json
run_program flash 60 tarnwick-station flash fw.bin --json --record records.jsonl
