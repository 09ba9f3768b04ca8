# scripts/bench xml: the element index of generated update lists (1 KB, 1 MB, 50 MB;
# dense and text-heavy) against pugixml, RapidXML, tinyxml2, expat and memchr.
# shellcheck shell=bash
bench_main() {
  bench_build xml_bench
  "$BENCH_TREE/bench/xml/xml_bench" "$@"
}
