# The modem is pulled (its UDC unbound) while image packets flow: the
# download must fail soon, without "Finished Download".
gadget_add ec25 2c7c 0125 0318 EC25-0004 acm 1
gadget_plug ec25 0 1
# Each answer comes 50 ms late, so the tool is mostly waiting for one when
# the modem goes.
sim_start modem "$(gadget_tty ec25 0)" --reply-delay-ms 50
head -c 65536 /dev/urandom >fw.bin
run_program_start download 60 tarnwick fw.bin
# AT, AT%DNLPK? and AT%DNL=1, then 20 packets.
wait_for_lines modem.log 23
gadget_unplug ec25
run_program_wait
