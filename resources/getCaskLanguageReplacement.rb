# Picks the language code that a cask's language blocks give for the user's languages.
#
#   ruby -W0 getCaskLanguageReplacement.rb LANGUAGES BLOCK_LINES
#
# LANGUAGES is the user's preferred languages in order, joined with "=" ("de=en-GB").
# BLOCK_LINES is the text of the cask's language blocks:
#
#   language 'de', 'de-AT' do
#     'de'
#   end
#   language 'en', default: true do
#     sha256 '...'
#     'en-US'
#   end
#
# The first preferred language that a block's keys cover selects that block (a key
# without a region covers every region of its language); when none does, the block marked
# `default: true` is taken. The block's value is its last plain string literal. Prints the
# value and exits 0. The lines are read, never run: anything the script cannot read ends
# it with a message on standard error and status 2.

class CannotSelect < StandardError; end

LOCALE_PATTERN = /\A([a-zA-Z]{2,3})(?:[-_]([a-zA-Z]{4}))?(?:[-_]([a-zA-Z]{2}|\d{3}))?\z/.freeze

Locale = Struct.new(:language, :script, :region) do
  def self.parse(text)
    match = LOCALE_PATTERN.match(text.strip)
    return nil unless match
    new(match[1].downcase, match[2]&.capitalize, match[3]&.upcase)
  end

  # Whether this (the user's) locale is covered by the block key `key`.
  def covered_by?(key)
    %i[language script region].all? { |part| key[part].nil? || key[part] == self[part] }
  end
end

Block = Struct.new(:keys, :default, :value)

# A string literal alone on a line, with an optional comment after it.
LITERAL = /\A(?:'((?:[^'\\]|\\.)*)'|"((?:[^"\\#]|\\.|#(?![{@$]))*)")\s*(?:#.*)?\z/.freeze
OPENING = /\Alanguage\s*\(?\s*(.*?)\s*\)?\s+do\s*(?:\|\s*\w*\s*\|)?\s*(?:#.*)?\z/.freeze

def unquote(match)
  if match[1]
    match[1].gsub(/\\([\\'])/, '\1')
  else
    match[2].gsub(/\\(.)/) { { "n" => "\n", "t" => "\t" }.fetch(Regexp.last_match(1), Regexp.last_match(1)) }
  end
end

def parse_arguments(text, line)
  keys = []
  default = false
  rest = text.strip
  until rest.empty?
    if (m = rest.match(/\A'([^'\\]*)'|\A"([^"\\#]*)"/))
      keys << (m[1] || m[2])
    elsif (m = rest.match(/\A:"?([a-zA-Z_-]+)"?/))
      keys << m[1].tr("_", "-")
    elsif (m = rest.match(/\A(?:default:|:default\s*=>)\s*(true|false)/))
      default = m[1] == "true"
    else
      raise CannotSelect, "cannot read the language line #{line.inspect}"
    end
    rest = rest[m[0].length..].strip
    break if rest.empty?
    raise CannotSelect, "cannot read the language line #{line.inspect}" unless rest.start_with?(",")
    rest = rest[1..].strip
  end
  [keys, default]
end

def read_blocks(text)
  blocks = []
  current = nil
  text.each_line do |raw|
    line = raw.strip
    if (m = OPENING.match(line))
      keys, default = parse_arguments(m[1], line)
      raise CannotSelect, "language line without a language: #{line.inspect}" if keys.empty?
      current = Block.new(keys, default, nil)
      blocks << current
    elsif line.match?(/\Aend\b/)
      current = nil
    elsif current && (m = LITERAL.match(line))
      current.value = unquote(m)
    end
  end
  blocks
end

def select_value(preferred, blocks)
  raise CannotSelect, "the cask has no language blocks" if blocks.empty?
  preferred.each do |text|
    locale = Locale.parse(text)
    next unless locale
    blocks.each do |block|
      keys = block.keys.map { |key| Locale.parse(key) }.compact
      return [block, text] if keys.any? { |key| locale.covered_by?(key) }
    end
  end
  default = blocks.find(&:default)
  raise CannotSelect, "no language block matches #{preferred.join(', ')} and none is the default" unless default
  [default, "default"]
end

if ARGV.length != 2
  $stderr.puts "usage: getCaskLanguageReplacement.rb LANGUAGES BLOCK_LINES"
  exit 2
end

begin
  languages, lines = ARGV.map { |arg| arg.dup.force_encoding(Encoding::UTF_8) }
  raise CannotSelect, "the block lines are not UTF-8 text" unless lines.valid_encoding? && languages.valid_encoding?
  block, reason = select_value(languages.split("="), read_blocks(lines))
  raise CannotSelect, "the language block #{block.keys.join(', ')} (#{reason}) has no string value" unless block.value
  puts block.value
rescue CannotSelect => e
  $stderr.puts "getCaskLanguageReplacement: #{e.message}"
  exit 2
end
