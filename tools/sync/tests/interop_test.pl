#!/usr/bin/perl
# SPDX-License-Identifier: MIT
# kestrel-sync against an independent reader and writer of Palm database
# files, Debian's Palm::PDB: the files it writes after a sync load in
# Palm::PDB with exactly the records the import file defines and everything
# else kept; files that Palm::PDB writes load in kestrel-sync (their backups
# show every live record) and are not rewritten; of a folder of 150 such
# databases only the first 100, by file name, are examined.
# Usage: interop_test.pl KESTREL_SYNC REPO_ROOT WORK_DIR
use strict;
use warnings;
use File::Path qw(make_path remove_tree);
use Palm::PDB;
use Palm::Raw;

Palm::PDB::RegisterPRCHandlers('Palm::Raw', ['', '']);

my ($sync, $root, $work) = @ARGV;
die "usage: $0 KESTREL_SYNC REPO_ROOT WORK_DIR\n" unless defined $work;
my $sample = "$root/samples/handheld";
remove_tree($work);
make_path($work);
my $failures = 0;
sub fail { print STDERR "FAIL: @_\n"; $failures++; }
sub check { my ($ok, $what) = @_; fail($what) unless $ok; }

sub slurp {
  my ($path) = @_;
  open(my $fh, '<:raw', $path) or return undef;
  local $/;
  return scalar <$fh>;
}
sub spew {
  my ($path, $bytes) = @_;
  open(my $fh, '>:raw', $path) or die "$path: $!";
  print $fh $bytes;
  close $fh or die "$path: $!";
}
sub copy_folder {
  my ($from, $to) = @_;
  make_path($to);
  opendir(my $dh, $from) or die "$from: $!";
  for my $f (grep { !/^\./ } readdir $dh) { spew("$to/$f", slurp("$from/$f")); }
}
sub load {
  my ($path) = @_;
  my $pdb = Palm::PDB->new;
  my $ok = eval { $pdb->Load($path); 1 };
  fail("Palm::PDB cannot load $path: $@") unless $ok;
  return $ok ? $pdb : undef;
}
sub run_sync {
  my @args = @_;
  my $out = `"$sync" @{[map { "'$_'" } @args]} 2>&1`;
  return ($? >> 8, $out);
}

# A task record as the handheld stores it: big-endian dates packed as years
# since 1904 (7 bits), month (4) and day (5).
sub date { my ($y, $m, $d) = @_; return (($y - 1904) << 9) | ($m << 5) | $d; }
sub task {
  my ($id, $start, $duration, $finish, $pred, $pct, $name, $res) = @_;
  return pack('C C n n n C C a32 a32', $id, 0, date(@$start), $duration, date(@$finish), $pred,
    $pct, $name, $res);
}

# The records that samples/import.csv defines, line by line; its fifth line
# holds only an ID and is skipped.
my @imported = (
  task(1, [2026, 3, 2], 5, [2026, 3, 6], 0, 100, 'Plan the layout', 'Ann'),
  task(2, [2026, 3, 9], 10, [2026, 3, 20], 1, 100, 'Order cabinets', 'Bob'),
  task(3, [2026, 3, 23], 2, [2026, 3, 24], 2, 60, 'Fit the worktop', 'Ann and Bob'),
  task(4, [2026, 3, 25], 3, [2026, 3, 27], 3, 0, 'Tile the splashback', 'Carla'),
  task(6, [2026, 3, 30], 1, [2026, 3, 30], 4, 0, 'Final inspection', 'Ann'),
);

# Checks that $after holds exactly @$records as new records, and every other
# part of $before.
sub check_imported {
  my ($what, $before, $after, $records, $written) = @_;
  for my $field (qw(name type creator version ctime baktime appinfo sort)) {
    check(($before->{$field} // '') eq ($after->{$field} // ''), "$what: $field changed");
  }
  for my $flag (keys %{$before->{attributes}}) {
    check($after->{attributes}{$flag}, "$what: attribute $flag lost");
  }
  my @got = @{$after->{records}};
  check(@got == @$records, "$what: " . scalar(@got) . " records, expected " . scalar(@$records));
  my %ids;
  for my $i (0 .. $#got) {
    my $r = $got[$i];
    check(defined $records->[$i] && $r->{data} eq $records->[$i], "$what: record $i data");
    check($r->{category} == 0, "$what: record $i category $r->{category}");
    check($r->{attributes}{Dirty} && !$r->{attributes}{Delete} && !$r->{attributes}{Secret},
      "$what: record $i attributes");
    check($r->{id} != 0 && !$ids{$r->{id}}++, "$what: record $i unique ID $r->{id}");
  }
  check($after->{modnum} == $before->{modnum} + $written, "$what: modification number $after->{modnum}");
  check($after->{mtime} >= $before->{mtime}, "$what: modification date went back");
}

# --- the sample handheld after the main job ----------------------------------
{
  my $dir = "$work/main";
  copy_folder($sample, "$dir/handheld");
  make_path("$dir/data");
  spew("$dir/data/import.csv", slurp("$root/samples/import.csv"));
  my ($status, $out) = run_sync('--data-folder', "$dir/data", "$dir/handheld");
  check($status == 0, "main job: exit status $status: $out");
  opendir(my $dh, "$dir/handheld");
  for my $f (sort grep { !/^\./ } readdir $dh) { load("$dir/handheld/$f"); }
  my ($before, $after) = (load("$sample/KestrelDB.pdb"), load("$dir/handheld/KestrelDB.pdb"));
  # One step for the clear, one for each record written.
  check_imported('main job', $before, $after, \@imported, 1 + @imported) if $before && $after;
}

# --- files Palm::PDB writes ------------------------------------------------------
sub record { my ($id, $cat, $data, %attr) = @_; return { id => $id, category => $cat, data => $data, attributes => {%attr} }; }
sub write_pdb {
  my ($path, %fields) = @_;
  my $pdb = Palm::Raw->new;
  my $records = delete $fields{records};
  my $resources = delete $fields{resources};
  $pdb->{$_} = $fields{$_} for keys %fields;
  $pdb->{records} = $records if $records;
  if ($resources) { $pdb->{attributes}{ResDB} = 1; $pdb->{resources} = $resources; }
  $pdb->Write($path) or die "Palm::PDB cannot write $path";
}
{
  my $dir = "$work/palm-pdb";
  my ($hh, $data) = ("$dir/handheld", "$dir/data");
  make_path($hh, $data);
  write_pdb("$hh/notes.pdb", name => 'Field Notes', type => 'Data', creator => 'Tkpl', version => 3,
    ctime => 1700000000, mtime => 1700000500, baktime => 1700000100, modnum => 9,
    uniqueIDseed => 0x3000, attributes => { Backup => 1 }, appinfo => "app info\0", sort => "so",
    records => [
      record(0x2001, 3, task(7, [2025, 12, 1], 4, [2025, 12, 4], 0, 25, 'Survey site', 'Gil')),
      record(0x2002, 0, task(8, [2025, 12, 5], 0, [2025, 12, 5], 7, 0, 'Write up', 'Gil'), Delete => 1),
      record(0x2003, 1, task(9, [2031, 12, 31], 65535, [1904, 1, 1], 8, 100, 'Archive', ''), Secret => 1),
      record(0x2004, 15, task(200, [2000, 2, 29], 1, [2000, 3, 1], 0, 255, 'Odd one', 'Hal'), Dirty => 1),
    ]);
  write_pdb("$hh/KestrelDB.pdb", name => 'KestrelDB', type => 'Data', creator => 'Tkpl',
    ctime => 1700000000, mtime => 1700000000, baktime => 0, modnum => 40, uniqueIDseed => 0x500,
    appinfo => "categories", sort => "sort order",
    records => [record(0x401, 2, task(1, [2020, 1, 1], 1, [2020, 1, 1], 0, 0, 'Old', 'Old'))]);
  write_pdb("$hh/app.prc", name => 'Tool', type => 'appl', creator => 'Tkpl',
    resources => [{ type => 'code', id => 0, data => "\x4e\x75" }, { type => 'tAIN', id => 1000, data => "Tool\0" }]);
  write_pdb("$hh/other.pdb", name => 'Other', type => 'Data', creator => 'othr',
    records => [record(1, 0, 'not a task')]);
  my %written = map { $_ => slurp("$hh/$_") } qw(notes.pdb KestrelDB.pdb app.prc other.pdb);

  # A backup only: every live record of each task database, nothing rewritten;
  # with no import file that is the whole job.
  my ($status, $out) = run_sync('--data-folder', $data, $hh);
  check($status == 0, "Palm::PDB files: exit status $status: $out");
  check(index($out, "kestrel-sync: backed up \"Field Notes\" to $data/Field Notes.csv (3 task lines)\n") >= 0,
    "Palm::PDB files: the summary of Field Notes: $out");
  my $header = "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n";
  # Palm::PDB puts deleted records last, so the live ones are indexes 0-2.
  my $notes = $header . "7,12/1/2025,4 days,12/4/2025,,25%,Survey site,Gil\n"
    . "9,12/31/2031,65535 days,1/1/1904,8,100%,Archive,\n"
    . "-56,2/29/2000,1 days,3/1/2000,,-1%,Odd one,Hal";
  check((slurp("$data/Field Notes.csv") // '') eq $notes, "Palm::PDB files: Field Notes.csv is ["
    . (slurp("$data/Field Notes.csv") // 'missing') . "]");
  check((slurp("$data/KestrelDB.csv") // '') eq $header . "1,1/1/2020,1 days,1/1/2020,,0%,Old,Old",
    "Palm::PDB files: KestrelDB.csv");
  opendir(my $dh, $data);
  my @backups = sort grep { !/^\./ } readdir $dh;
  check("@backups" eq "Field Notes.csv KestrelDB.csv", "Palm::PDB files: backups @backups");
  for my $f (sort keys %written) {
    check(slurp("$hh/$f") eq $written{$f}, "Palm::PDB files: $f was rewritten");
  }

  # An import into the file Palm::PDB wrote: its appInfo and sortInfo
  # blocks and header stay, its records are replaced.
  spew("$data/import.csv", slurp("$root/samples/import.csv"));
  ($status, $out) = run_sync('--data-folder', $data, $hh);
  check($status == 0, "Palm::PDB import: exit status $status: $out");
  my $before = Palm::PDB->new;
  my $ok = eval { $before->Load(\$written{'KestrelDB.pdb'}); 1 };
  unless ($ok) {  # Palm::PDB of this version loads from a file only
    spew("$dir/before.pdb", $written{'KestrelDB.pdb'});
    $before = load("$dir/before.pdb");
  }
  my $after = load("$hh/KestrelDB.pdb");
  check_imported('Palm::PDB import', $before, $after, \@imported, 1 + @imported) if $before && $after;
  for my $f (qw(notes.pdb app.prc other.pdb)) {
    check(slurp("$hh/$f") eq $written{$f}, "Palm::PDB import: $f was rewritten");
  }
}

# --- 150 databases: only the first 100 by file name are backed up ---------------
{
  my $dir = "$work/many";
  my ($hh, $data) = ("$dir/handheld", "$dir/data");
  make_path($hh, $data);
  # File fNNN holds the database "List (149 - NNN)", so the order of the
  # files and that of the database names are opposite.
  for my $i (0 .. 149) {
    write_pdb(sprintf("%s/f%03d.pdb", $hh, $i), name => sprintf('List %03d', 149 - $i), type => 'Data',
      creator => 'Tkpl', records => [record(1, 0, task($i % 128, [2026, 1, 1], 1, [2026, 1, 1], 0, 0, 'T', 'R'))]);
  }
  my ($status, $out) = run_sync('--data-folder', $data, $hh);
  # The 50 past the 100th are named as not backed up, and the run exits 1.
  check($status == 1, "150 databases: exit status $status: $out");
  check(index($out, "kestrel-sync: \"List 000\" not backed up: it is database 150 of the handheld's list, and the conduit reads the first 100 databases\n") >= 0,
    "150 databases: the last one not named: $out");
  opendir(my $dh, $data);
  my @backups = sort grep { !/^\./ } readdir $dh;
  my @expected = map { sprintf('List %03d.csv', $_) } 50 .. 149;
  check("@backups" eq "@expected",
    "150 databases: " . scalar(@backups) . " backups, from " . ($backups[0] // 'none'));
}

if ($failures) { print STDERR "$failures failure(s)\n"; exit 1; }
print "PASS: Palm::PDB reads what kestrel-sync writes, and kestrel-sync what Palm::PDB writes\n";
