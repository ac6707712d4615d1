#!/bin/bash
# Builds and runs the benchmarks under Wine; they print their own figures.
# usage: tools/bench.sh [type_text|record_codec|hook_cost|key_latency|key_sound|soak|stress|repair_quality|repair_latency]...
# (default: all; the soak types 10,000 physical keys into two editors, with
# modifiers, Shift+Enter, fast word ends and Alt+Tab, in about 4 minutes;
# the stress sends hostile input on every channel for a minute)
set -e
root=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/harness.sh"
"$root/tools/build.sh" >/dev/null
benches=("$@")
[ ${#benches[@]} -gt 0 ] || benches=(type_text record_codec hook_cost key_latency key_sound soak stress repair_quality repair_latency)
for bench in "${benches[@]}"; do
  echo "== $bench"
  case "$bench" in
    type_text|record_codec|hook_cost|key_latency|key_sound)
      # The hot paths, with a host in-process, beside the test programs.
      (cd "$root/build/win/tests" && "$root/tools/wine-run.sh" ./host_bench.exe "$bench") ;;
    soak)
      (cd "$root/build/win/tests" && KORVEX_TEST_TIMEOUT=1800 \
        "$root/tools/wine-run.sh" ./long_run.exe --soak --keys 10000) ;;
    repair_quality)
      # The application's decisions, natively and without the sanitizers, on
      # prose the models never saw: quotations, literature and dialogue, and
      # technical prose (manuals, documents, programs' messages).
      prose=(fortunes fortunes-min fortunes-ru manpages manpages-ru
        debian-reference-en doc-debian groff-base)
      for p in "${prose[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' ||
          DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${prose[@]}" >/dev/null
      done
      bench_dir="$root/build/native-bench"
      cmake -S "$root" -B "$bench_dir" -DKORVEX_SANITIZE=OFF \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
      cmake --build "$bench_dir" -j2 --target repair_quality_bench |
        grep -E '^model' || true
      # English quotations apart from those of computing (nicknames, mail
      # addresses, jargon), which are judged on their own.
      fortunes=/usr/share/games/fortunes
      technical="art ascii-art computers debian knghtbrd linux linuxcookie perl"
      english=() computing=()
      for f in $(find $fortunes -maxdepth 1 -type f ! -name '*.*'); do
        case " $technical " in
          *" $(basename "$f") "*) computing+=("$f") ;;
          *) english+=("$f") ;;
        esac
      done
      "$root/tests/app/technical_prose.sh" "$bench_dir/prose"
      catalogues=()
      for c in apt bash coreutils diffutils dpkg findutils grep sed shadow tar; do
        f=/usr/share/locale/ru/LC_MESSAGES/$c.mo
        [ -f "$f" ] && catalogues+=("$f")
      done
      "$bench_dir/tests/app/repair_quality_bench" "$bench_dir/app/models" \
        en "${english[@]}" en-computing "${computing[@]}" \
        ru $(find $fortunes/ru -type f ! -name '*.*') \
        en-technical "$bench_dir"/prose/en/* \
        ru-technical "$bench_dir"/prose/ru/* "${catalogues[@]}"
      ls -l "$root/build/win/out/data/app.so" "$root/build/win/out/data/flutter_assets/"*.kvlm |
        awk '{ print $5, $NF }' ;;
    repair_latency)
      # korvex.exe and its application against physical keys in another
      # program: the end-to-end run prints its figures.
      (cd "$root/build/win/tests" && "$root/tools/wine-run.sh" ./app_e2e_tests.exe \
        --gtest_filter='*EnglishPass*' | grep -E '^figure|OK|FAILED') ;;
    stress)
      (cd "$root/build/win/tests" && KORVEX_TEST_TIMEOUT=600 \
        "$root/tools/wine-run.sh" ./long_run.exe --stress --seconds 60) ;;
    *) echo "unknown benchmark: $bench" >&2; exit 2 ;;
  esac
done
