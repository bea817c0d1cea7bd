#!/usr/bin/perl
# SPDX-License-Identifier: MIT
# The peer of the sync benchmark: Debian's Palm::PDB reads each Palm database
# file given and, for a Kestrelplan task database (type "Data", creator
# "Tkpl"), writes the backup file that kestrel-sync writes for it into
# OUT_DIR: the header line, then one line per live record, each but the
# first record's after a line break. The benchmark's databases have plain
# names, so no character of a name needs replacing in the file name.
# Usage: palm_pdb_backup.pl OUT_DIR FILE.pdb...
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;

my ($out, @files) = @ARGV;
die "usage: $0 OUT_DIR FILE.pdb...\n" unless defined $out && @files;

my $header = 'ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names';

# month/day/year of a date packed as years since 1904 (7 bits), month (4)
# and day (5).
sub date {
  my ($packed) = @_;
  return (($packed >> 5) & 15) . '/' . ($packed & 31) . '/' . (1904 + ($packed >> 9));
}

for my $file (@files) {
  my $pdb = Palm::PDB->new;
  $pdb->Load($file);
  next unless $pdb->{type} eq 'Data' && $pdb->{creator} eq 'Tkpl';
  my $stem = lc($pdb->{name}) eq 'import' ? 'ImportFromPilot' : $pdb->{name};
  open(my $fh, '>:raw', "$out/$stem.csv") or die "$out/$stem.csv: $!\n";
  print $fh $header, "\n";
  my $index = 0;
  for my $record (@{$pdb->{records}}) {
    unless ($record->{attributes}{Delete}) {
      my ($id, undef, $start, $duration, $finish, $predecessor, $percent, $name, $resources) =
        unpack('c C n n n c c Z32 Z32', $record->{data});
      print $fh "\n" if $index != 0;
      print $fh join(',', $id, date($start), "$duration days", date($finish),
        $predecessor > 0 ? $predecessor : '', "$percent%", $name, $resources);
    }
    $index++;
  }
  close $fh or die "$out/$stem.csv: $!\n";
}
