"""Reads a Prometheus text exposition on stdin with the Prometheus client's own parser and prints
each family as "TYPE name type" and each sample as "name{label="value",...} value", labels sorted.
Exits non-zero when the parser refuses the text."""
import sys

from prometheus_client.parser import text_string_to_metric_families

for family in text_string_to_metric_families(sys.stdin.read()):
    print("TYPE", family.name, family.type)
    for sample in family.samples:
        labels = ",".join('%s="%s"' % (k, v) for k, v in sorted(sample.labels.items()))
        print("%s{%s} %r" % (sample.name, labels, sample.value))
