#!/usr/bin/perl
# SPDX-License-Identifier: MIT
# kestrel-sync --charset as a user runs it: a backup of a database whose name
# and tasks hold the byte 0xE9 is written in UTF-8 under a UTF-8 name, a UTF-8
# import file is stored in the handheld's set, characters that cannot be
# converted become "?" and are named in the summary; the same runs without
# --charset keep every byte as it is.
# Usage: charset_test.pl KESTREL_SYNC WORK_DIR
use strict;
use warnings;
use File::Path qw(make_path remove_tree);

my ($sync, $work) = @ARGV;
die "usage: $0 KESTREL_SYNC WORK_DIR\n" unless defined $work;
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
  return $bytes // '';
}
sub shown { my ($bytes) = @_; $bytes //= '(none)'; $bytes =~ s/([^\x20-\x7E])/sprintf('\\x%02X', ord $1)/ge; return $bytes; }
sub expect_bytes {
  my ($what, $got, $expected) = @_;
  fail("$what: got [" . shown($got) . "], expected [" . shown($expected) . "]")
    unless defined $got && $got eq $expected;
}

# A task database of type "Data", creator "Tkpl", holding one record per
# [name, resources]: ID 1, 2, ..., 13 April 1998, 5 days, 17 April 1998.
sub task_database {
  my ($name, @tasks) = @_;
  my $count = @tasks;
  my $header = pack('a32 n n N N N N N N a4 a4 N N n', $name, 0, 0, 3855202200, 3855202200, 0, 1,
    0, 0, 'Data', 'Tkpl', 0, 0, $count);
  my $offset = 78 + 8 * $count + 2;
  my ($entries, $data) = ('', '');
  my $id = 0;
  for my $task (@tasks) {
    ++$id;
    $entries .= pack('N C C3', $offset + length($data), 0, 0, 0, $id);
    $data .= pack('C C n n n c c a32 a32', $id, 0, 0xBC8D, 5, 0xBC91, 0, 0, @$task);
  }
  return $header . $entries . "\0\0" . $data;
}

# run NAME OPTIONS...: kestrel-sync on $work/NAME/handheld with the data
# folder $work/NAME/data; sets $status and $err.
our ($status, $err);
sub run {
  my ($name, @options) = @_;
  my $dir = "$work/$name";
  system("\Q$sync\E @options --data-folder \Q$dir/data\E \Q$dir/handheld\E >\Q$dir/out\E 2>\Q$dir/err\E");
  $status = $? >> 8;
  $err = slurp("$dir/err");
}
sub new_case {
  my ($name, $import) = @_;
  my $dir = "$work/$name";
  make_path("$dir/handheld", "$dir/data");
  spew("$dir/handheld/Cafe.pdb", task_database("Caf\xE9", ["Cr\xE8me", "Zo\xEB"], ["A\x81", "B"]));
  spew("$dir/data/import.csv", $import) if defined $import;
  return $dir;
}
sub summary_has {
  my ($what, $line) = @_;
  fail("$what: no summary line [" . shown($line) . "] in [" . shown($err) . "]")
    unless grep { $_ eq $line } split(/\n/, $err);
}

my $header = "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n";
my $utf8_backup = $header . "1,4/13/1998,5 days,4/17/1998,,0%,Cr\xC3\xA8me,Zo\xC3\xAB\n"
  . "2,4/13/1998,5 days,4/17/1998,,0%,A?,B";
my $bytes_backup = $header . "1,4/13/1998,5 days,4/17/1998,,0%,Cr\xE8me,Zo\xEB\n"
  . "2,4/13/1998,5 days,4/17/1998,,0%,A\x81,B";

# The backup of a database named and filled with 0xE9 and its kin.
my $dir = new_case('backup-utf8');
run('backup-utf8', '--charset', 'UTF-8');
expect_bytes('backup in UTF-8, under its UTF-8 name', slurp("$dir/data/Caf\xC3\xA9.csv"), $utf8_backup);
fail('backup in UTF-8: the file of the handheld name exists too') if -e "$dir/data/Caf\xE9.csv";
summary_has('backup in UTF-8',
  "kestrel-sync: 1 character of $dir/data/Caf\xC3\xA9.csv that UTF-8 cannot hold was written as \"?\"");

$dir = new_case('backup-bytes');
run('backup-bytes');
expect_bytes('backup without --charset', slurp("$dir/data/Caf\xE9.csv"), $bytes_backup);
fail('backup without --charset: a summary line on characters') if $err =~ /cannot hold/;
# A sync with --charset beside that backup names it: the same database's
# backup in the other character set.
run('backup-bytes', '--charset', 'UTF-8');
summary_has('a backup in the handheld\'s set beside',
  "kestrel-sync: $dir/data/Caf\xE9.csv: the same database's backup in WINDOWS-1252, from a sync "
  . "without --charset, beside $dir/data/Caf\xC3\xA9.csv; remove it once it is no longer needed");
expect_bytes('the backup in the handheld\'s set is kept', slurp("$dir/data/Caf\xE9.csv"), $bytes_backup);

# A UTF-8 import: accents, a 31st character of two bytes, a character that
# Windows-1252 lacks, a byte-order mark. What KestrelDB holds afterwards is
# read back by a sync without --charset, from its backup.
my $a30 = 'a' x 30;
my $import = "\xEF\xBB\xBF1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Cl\xC3\xA9o,\xC5\xB5 team\n"
  . "2,Mon 4/13/98,5 days,Fri 4/17/98,,0%,$a30\xC3\xA9\xC3\xA9,x\n";
my %stored = (
  'import-utf8' => [['--charset', 'UTF-8'],
    "1,4/13/1998,5 days,4/17/1998,,0%,Cl\xE9o,? team\n2,4/13/1998,5 days,4/17/1998,,0%,$a30\xE9,x"],
  'import-bytes' => [[],
    "1,4/13/1998,5 days,4/17/1998,,0%,Cl\xC3\xA9o,\xC5\xB5 team\n2,4/13/1998,5 days,4/17/1998,,0%,$a30\xC3,x"],
);
for my $name (sort keys %stored) {
  my ($options, $tasks) = @{$stored{$name}};
  $dir = new_case($name, $import);
  run($name, @$options);
  fail("$name: exit status $status, expected 0: " . shown($err)) unless $status == 0;
  if (@$options) {
    summary_has($name,
      "kestrel-sync: 1 character of $dir/data/import.csv that WINDOWS-1252 cannot hold was read as \"?\"");
  }
  unlink("$dir/data/import.csv");
  run($name);
  expect_bytes("$name: KestrelDB as stored", slurp("$dir/data/KestrelDB.csv"), $header . $tasks);
}

# An unknown character set refuses the run before anything changes.
$dir = new_case('unknown');
run('unknown', '--charset', 'NO-SUCH-SET');
fail("unknown set: exit status $status, expected 2") unless $status == 2;
expect_bytes('unknown set: message', $err, "kestrel-sync: unknown character set NO-SUCH-SET; `iconv -l` lists the names this system knows\n");
opendir(my $dh, "$dir/data") or die;
my @written = grep { !/^\./ } readdir $dh;
fail('unknown set: files written: ' . join(' ', @written)) if @written;

exit($failures ? 1 : 0) if $failures;
print "PASS: character sets through kestrel-sync\n";
