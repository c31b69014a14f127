# A watch session: three identical modems (distinct serials) plugged in one
# after another; each one that passed is re-plugged (its UDC unbound and
# bound again) once the station saw it go, and must then answer the new
# version. SIGTERM ends the session.
for n in 0 1 2; do
  gadget_add ec25_$n 2c7c 0125 0318 EC25-20$n acm 1
  sim_start modem_$n "$(gadget_tty ec25_$n 0)" --version-text EC25_OLD \
    --version-after-download EC25_NEW
done
head -c 8192 /dev/urandom >fw.bin
run_program_start watch 100 tarnwick-station watch fw.bin --expect-version EC25_NEW --json \
  --record records.jsonl --settle 20 --verify-timeout 60
for n in 0 1 2; do
  gadget_plug ec25_$n $n 1
  echo "$(gadget_location $n) EC25-20$n"
done >modems

# event_for EVENT SERIAL: a line of watch.out with both.
event_for() { grep "\"event\":\"$1\"" watch.out | grep -q "\"serial\":\"$2\""; }
for n in 0 1 2; do
  wait_for "EC25-20$n to pass" "event_for modem-end EC25-20$n" 60
  gadget_unplug ec25_$n $n
  wait_for "EC25-20$n to be gone" "event_for modem-gone EC25-20$n" 20
  gadget_plug ec25_$n $n 1
done
wait_for "three verdicts" "[ \$(grep -c '\"event\":\"verify\"' watch.out) -ge 3 ]" 60
kill -TERM "$rig_background"
run_program_wait
