#!/usr/bin/env bash
# Reports what a language pack lacks against the built-in English table: ids with no text
# (missing or empty), ids the table does not know, and texts whose placeholders (%s, %d, ...)
# differ from the English ones in kind or order. Exits 1 when a text is missing or a
# placeholder differs, 2 on bad usage; unknown ids are only reported.
#   scripts/lang-missing.sh [--table FILE] PACK...
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
table="$root/src/core/app/StringTableEn.inc"
if [ "${1:-}" = "--table" ]; then
    table="$2"
    shift 2
fi
if [ $# -eq 0 ]; then
    echo "usage: $0 [--table FILE] PACK..." >&2
    exit 2
fi

status=0
for pack in "$@"; do
    if [ ! -r "$pack" ]; then
        echo "$pack: cannot be read" >&2
        status=1
        continue
    fi
    perl -CSD -e '
        use strict; use warnings;
        my ($table, $pack) = @ARGV;
        sub placeholders { my $t = shift; $t =~ s/%%//g; return join(" ", $t =~ /(%[-+ #0-9.lhzL]*[sdiuxXcSf])/g); }
        my (%english, @order);
        open(my $t, "<", $table) or die "$table: $!\n";
        while (<$t>) {
            next unless /^KS\((\d+),\s*"(.*)"\)\s*$/;
            $english{$1} = $2; push @order, $1;
        }
        my %pack; my $line = 0; my $faults = 0;
        open(my $p, "<", $pack) or die "$pack: $!\n";
        while (<$p>) {
            $line++; s/\r?\n$//;
            next if /^$/ || /^#/;
            if (!/^(\d+)\t(.*)$/) { print "$pack:$line: not \"id<TAB>text\"\n"; $faults++; next; }
            if (exists $pack{$1}) { print "$pack:$line: id $1 appears twice\n"; $faults++; next; }
            $pack{$1} = $2;
        }
        for my $id (@order) {
            if (!exists $pack{$id} || $pack{$id} eq "") { print "$pack: missing $id: $english{$id}\n"; $faults++; next; }
            my ($want, $have) = (placeholders($english{$id}), placeholders($pack{$id}));
            if ($want ne $have) { print "$pack: placeholders of $id differ: English \"$want\", pack \"$have\"\n"; $faults++; }
        }
        for my $id (sort { $a <=> $b } keys %pack) {
            print "$pack: unknown id $id\n" unless exists $english{$id};
        }
        exit($faults ? 1 : 0);
    ' "$table" "$pack" || status=1
done
exit $status
