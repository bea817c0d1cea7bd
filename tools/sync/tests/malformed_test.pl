#!/usr/bin/perl
# SPDX-License-Identifier: MIT
# kestrel-sync refuses a handheld folder holding a file that is not a
# well-formed Palm database: exit status 2, one line on standard error naming
# the file and what is wrong, no sync, nothing in the folder changed. Then
# damaged copies of a real file must never crash it.
# Usage: malformed_test.pl KESTREL_SYNC REPO_ROOT WORK_DIR
use strict;
use warnings;
use File::Path qw(make_path remove_tree);

my ($sync, $root, $work) = @ARGV;
die "usage: $0 KESTREL_SYNC REPO_ROOT WORK_DIR\n" unless defined $work;
my $sample = "$root/samples/handheld";
remove_tree($work);
make_path($work);
my $failures = 0;
sub fail { print STDERR "FAIL: @_\n"; $failures++; }

sub spew {
  my ($path, $bytes) = @_;
  open(my $fh, '>:raw', $path) or die "$path: $!";
  print $fh $bytes;
  close $fh or die "$path: $!";
}
sub slurp {
  my ($path) = @_;
  open(my $fh, '<:raw', $path) or return undef;
  local $/;
  my $bytes = <$fh>;
  return $bytes;
}

# A 78-byte header: name, attributes, offsets of appInfo and sortInfo, and
# the number of entries; the other fields are plausible constants.
sub header {
  my ($name, $attributes, $appinfo, $sortinfo, $count) = @_;
  return pack('a32 n n N N N N N N a4 a4 N N n', $name, $attributes, 0, 3855202200,
    3855202200, 0, 1, $appinfo, $sortinfo, 'Data', 'Tkpl', 0, 0, $count);
}
sub record_entry { my ($offset, $attr, $id) = @_; return pack('N C C3', $offset, $attr, $id >> 16, ($id >> 8) & 0xFF, $id & 0xFF); }
sub resource_entry { my ($type, $id, $offset) = @_; return pack('a4 n N', $type, $id, $offset); }

my $kestreldb = slurp("$sample/KestrelDB.pdb") // die("no $sample");
my $website = slurp("$sample/Website.pdb") // die("no $sample");
sub patched32 { my ($bytes, $at, $value) = @_; substr($bytes, $at, 4) = pack('N', $value); return $bytes; }

# name, file, bytes, message, and the file the message names when it is not
# that one
my @cases = (
  ['empty file', 'empty.pdb', '', 'file too short: 0 bytes, a header needs 78'],
  ['short header', 'short.pdb', 'x' x 50, 'file too short: 50 bytes, a header needs 78'],
  ['name without NUL', 'nonul.pdb', ('A' x 32) . substr(header('x', 0, 0, 0, 0), 32),
    'database name has no terminating NUL'],
  ['empty name', 'noname.pdb', header('', 0, 0, 0, 0) . "\0\0", 'database name is empty'],
  ['more entries than the file holds', 'entries.pdb',
    header('Tasks', 0, 0, 0, 10) . record_entry(100, 0, 1) . record_entry(100, 0, 2),
    'more entries than the file can hold: 10 entries of 8 bytes need 158 bytes, the file has 94'],
  ['appInfo outside the file', 'appinfo.pdb', header('Tasks', 0, 500, 0, 0) . "\0\0abcd",
    'appInfo offset 500 lies outside the file of 84 bytes'],
  ['appInfo inside the header', 'appinfo2.pdb', header('Tasks', 0, 40, 0, 0) . "\0\0abcd",
    'appInfo offset 40 lies inside the header and entries, which end at 78'],
  ['sortInfo before appInfo', 'sortinfo.pdb', header('Tasks', 0, 82, 80, 0) . "\0\0abcd",
    'sortInfo offset 80 lies before the appInfo block at 82'],
  ['record offsets out of order', 'order.pdb',
    header('Tasks', 0, 0, 0, 2) . record_entry(100, 0, 1) . record_entry(96, 0, 2) . "\0\0" . ('r' x 10),
    'record 1 offset 96 lies before record 0 at 100'],
  ['record outside the file', 'outside.pdb',
    header('Tasks', 0, 0, 0, 1) . record_entry(4000, 0, 1) . "\0\0" . ('r' x 10),
    'record 0 offset 4000 lies outside the file of 98 bytes'],
  ['resource entries past the end', 'app.prc',
    header('App', 1, 0, 0, 3) . resource_entry('code', 1, 108),
    'more entries than the file can hold: 3 entries of 10 bytes need 108 bytes, the file has 88'],
  ['resource outside the file', 'app2.prc',
    header('App', 1, 0, 0, 1) . resource_entry('code', 1, 91) . "\0\0",
    'resource 0 offset 91 lies outside the file of 90 bytes'],
  # The sample's files damaged.
  ['text file named like a database', 'notes.pdb',
    "Things to do before the handover: order the cabinets, book the tiler, and\n"
    . "ask the electrician about the extra sockets in the kitchen.\n",
    'database name has no terminating NUL'],
  ['file cut inside its header', 'KestrelDB.pdb', substr($kestreldb, 0, 60),
    'file too short: 60 bytes, a header needs 78'],
  ['file cut inside its entries', 'Website.pdb', substr($website, 0, 90),
    'more entries than the file can hold: 3 entries of 8 bytes need 102 bytes, the file has 90'],
  # Record 1 starts inside record 0 (at 380).
  ['overlapping records', 'Website.pdb', patched32($website, 78 + 8, 370),
    'record 1 offset 370 lies before record 0 at 380'],
  # The appInfo block after the first record.
  ['blocks out of order', 'Website.pdb', patched32($website, 52, 500),
    'record 0 offset 380 lies before the appInfo block at 500'],
  # The sample's KestrelDB once more, under another file name, sorted after
  # the original and before it; the message names the handheld folder, so
  # it is filled in below.
  ['two files of one database', 'zz.pdb', $kestreldb, ''],
  ['two files of one database, the copy first', 'Copy of KestrelDB.pdb', $kestreldb, '',
    'KestrelDB.pdb'],
);

sub copy_sample {
  my ($to) = @_;
  make_path($to);
  opendir(my $dh, $sample) or die "$sample: $!";
  for my $f (grep { !/^\./ } readdir $dh) { spew("$to/$f", slurp("$sample/$f")); }
}

sub folder_state {
  my ($dir) = @_;
  opendir(my $dh, $dir) or die "$dir: $!";
  return join("\n", map { "$_=" . unpack('H*', slurp("$dir/$_")) } sort grep { !/^\./ } readdir $dh);
}

sub run_sync {
  my ($hh, $data) = @_;
  my $pid = open(my $out, '-|');
  die "fork: $!" unless defined $pid;
  if ($pid == 0) {
    open(STDERR, '>', "$hh/../err") or die;
    exec($sync, '--data-folder', $data, $hh) or die "exec: $!";
  }
  local $/;
  my $stdout = <$out> // '';
  close $out;
  return ($?, $stdout, slurp("$hh/../err"));
}

my $n = 0;
for my $case (@cases) {
  my ($what, $file, $bytes, $message, $named) = @$case;
  $named //= $file;
  my $dir = "$work/case" . $n++;
  my ($hh, $data) = ("$dir/handheld", "$dir/data");
  copy_sample($hh);
  make_path($data);
  spew("$hh/$file", $bytes);
  if ($message eq '') {
    my $other = $named eq $file ? 'KestrelDB.pdb' : $file;
    $message = "holds the database \"KestrelDB\" as $hh/$other does";
  }
  my $before = folder_state($hh);
  my ($status, $stdout, $stderr) = run_sync($hh, $data);
  fail("$what: exit status " . ($status >> 8) . " signal " . ($status & 127)) unless $status == 2 << 8;
  fail("$what: standard error [$stderr]") unless $stderr eq "kestrel-sync: $hh/$named: $message\n";
  fail("$what: a sync ran: [$stdout]") unless $stdout eq '';
  fail("$what: the handheld folder changed") unless folder_state($hh) eq $before;
  opendir(my $dh, $data);
  fail("$what: the data folder was written") if grep { !/^\./ } readdir $dh;
}

# Damaged copies of a real file: random bytes of the header and entries
# changed, or the file cut short. Whatever the loader makes of them, the
# command ends with one of its own statuses, never by a signal.
srand(5);
my $good = slurp("$sample/Website.pdb");
for my $i (1 .. 60) {
  my $bytes = $good;
  if ($i % 4 == 0) {
    $bytes = substr($bytes, 0, int(rand(length $bytes)));
  } else {
    for (1 .. 1 + int(rand(3))) { substr($bytes, int(rand(102)), 1) = chr(int(rand(256))); }
  }
  my $dir = "$work/damaged$i";
  my ($hh, $data) = ("$dir/handheld", "$dir/data");
  make_path($hh, $data);
  spew("$hh/Website.pdb", $bytes);
  my ($status, $stdout, $stderr) = run_sync($hh, $data);
  my $code = $status >> 8;
  if (($status & 127) != 0 || $code > 2) {
    fail("damaged file $i: exit status $code signal " . ($status & 127) . ": " . unpack('H*', $bytes));
  } elsif ($code == 2 && $stderr !~ m{^kestrel-sync: \Q$hh\E/Website\.pdb: [^\n]+\n\z}) {
    fail("damaged file $i: standard error [$stderr]");
  }
}

# A record too large for the conduit's transfer buffer, after a deleted one:
# the backup keeps the lines before it and the summary names the record by
# its index in the database, the deleted one counted.
{
  my $app = substr($website, 104, 276);
  my @data = map { substr($website, 380 + 74 * $_, 74) } 0 .. 2;
  my @records = ([$data[0], 0x88], [$data[1], 0x11], [$data[2], 0x41], ['x' x 4481, 0],
    [$data[1], 0]);
  my $offset = 78 + 8 * @records + 2 + length $app;
  my ($entries, $bodies) = ('', '');
  for my $i (0 .. $#records) {
    $entries .= record_entry($offset + length $bodies, $records[$i][1], 100 + $i);
    $bodies .= $records[$i][0];
  }
  my $bytes = patched32(substr($website, 0, 76) . pack('n', scalar @records), 52, 78 + 8 * @records + 2)
    . $entries . "\0\0" . $app . $bodies;
  my $dir = "$work/oversized";
  my ($hh, $data) = ("$dir/handheld", "$dir/data");
  make_path($hh, $data);
  spew("$hh/Website.pdb", $bytes);
  my ($status, $stdout, $stderr) = run_sync($hh, $data);
  fail("oversized record: exit status $status") unless $status == 1 << 8;
  my $expected = "kestrel-sync: data folder $data (from --data-folder)\n"
    . "kestrel-sync: backed up \"Website Relaunch\" in part to $data/Website Relaunch.csv (2 task lines): reading record 3 failed (status 16392 (0x4008))\n"
    . "kestrel-sync: the import did not run: no import file $data/import.csv\n"
    . "kestrel-sync: no handheld file rewritten\n"
    . "kestrel-sync: \"Website Relaunch\" was backed up in part; conduit status 1 (0x0001)\n";
  fail("oversized record: standard error [$stderr]") unless $stderr eq $expected;
  my $csv = slurp("$data/Website Relaunch.csv") // '';
  fail("oversized record: backup [$csv]")
    unless $csv eq slurp("$root/tools/sync/tests/expected/Website Relaunch.csv");
}

if ($failures) { print STDERR "$failures failure(s)\n"; exit 1; }
print "PASS: malformed handheld files are refused\n";
