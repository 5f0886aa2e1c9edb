#!/usr/bin/perl
# Sets the creation and last-saved dates in an MSI's summary information to
# the given Unix time. wixl writes the current time into both and offers no
# way to choose it: they are the only bytes that differ between two builds.
#   perl msi-dates.pl <x.msi> <unix time>
use strict;
use warnings;

my ($path, $epoch) = @ARGV;
die "usage: msi-dates.pl <x.msi> <unix time>\n" unless defined $epoch && $epoch =~ /^\d+$/;
open(my $in, '<:raw', $path) or die "msi-dates.pl: cannot read $path: $!\n";
my $data = do { local $/; <$in> };
close $in;

# Two VT_FILETIME properties in a row holding the same time: created and
# last saved, as wixl writes them.
my $filetime = pack('Q<', ($epoch + 11644473600) * 10000000);
my $count = ($data =~ s/\x40\x00\x00\x00(.{8})\x40\x00\x00\x00\1/\x40\x00\x00\x00$filetime\x40\x00\x00\x00$filetime/gs);
die "msi-dates.pl: found $count pairs of summary dates in $path, expected one\n" unless $count == 1;

open(my $out, '>:raw', $path) or die "msi-dates.pl: cannot write $path: $!\n";
print $out $data;
close $out or die "msi-dates.pl: cannot write $path: $!\n";
