# Latency distributions of the launch and the graceful stop, the component's
# beside the bare platform's, one point per sample, from the samples that
# velmora_bench.exe --samples writes (index 0 launch, 1 graceful stop;
# columns: iteration, component ms, bare platform ms).
#
#   gnuplot -e "samples='s.txt'; output='latency.png'; build='i686'" bench/latency.gp
#
# A log scale, so that both of Wine's peaks and the gap between the two sides
# show at any size; the points of a peak spread sideways (a swarm), so its
# width says how many samples it holds. The bars are each side's median.
set terminal pngcairo noenhanced size 960,480 font "DejaVu Sans,10"
set output output
set multiplot layout 1,2 title sprintf("Velmora benchmark (%s build): latency per sample, component beside bare platform", build)
set logscale y
set ylabel "ms (log scale)"
set xrange [0.4:2.6]
set xtics ("bare platform" 1, "component" 2)
set grid ytics mytics
set key off
set jitter overlap 1.0 spread 0.8 swarm

do for [figure = 0:1] {
  stats samples index figure using 2 nooutput name "C"
  stats samples index figure using 3 nooutput name "B"
  stats samples index figure using ($2 / $3) nooutput name "R"
  set title sprintf("%s: %d pairs, median of per-pair ratios %.2fx", \
                    figure == 0 ? "Launch until the program runs" : "Graceful stop", \
                    int(R_records), R_median)
  unset arrow
  set arrow 1 from 0.7, B_median to 1.3, B_median nohead lw 2 lc rgb "black"
  set arrow 2 from 1.7, C_median to 2.3, C_median nohead lw 2 lc rgb "black"
  plot samples index figure using (1):3 with points pt 7 ps 0.5 lc rgb "#1f77b4", \
       samples index figure using (2):2 with points pt 7 ps 0.5 lc rgb "#d62728"
}
unset multiplot
