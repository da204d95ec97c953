# Fills the interpolations of a cask's download URL for one version and language.
#
#   ruby -W0 convertCaskDownloadURL.rb VERSION URL LANGUAGE
#
# Prints the URL with every "#{...}" evaluated and exits 0. The URL comes from a
# downloaded cask file, so it is never handed to eval: each interpolation is parsed here
# and may only be `version` or `language` followed by a chain of the cask DSL's version
# methods and plain string and array methods with literal arguments. Anything else ends
# the script with a message on standard error and status 2.

class CannotEvaluate < StandardError; end

# The cask DSL's version methods. Parts are taken by splitting the whole text, and a part
# that does not exist reads as empty, so chains never stop on a missing piece.
module VersionMethods
  DIVIDERS = { "dots" => ".", "hyphens" => "-", "underscores" => "_", "slashes" => "/" }.freeze

  module_function

  def part(text, separator, index)
    text.split(separator, -1)[index] || ""
  end

  def existing(text, count)
    text.split(".", -1).first(count).join(".")
  end

  def call(name, text)
    case name
    when "before_comma" then part(text, ",", 0)
    when "after_comma" then part(text, ",", 1)
    when "before_colon" then part(text, ":", 0)
    when "after_colon" then part(text, ":", 1)
    when "major" then part(text, ".", 0)
    when "minor" then part(text, ".", 1)
    when "patch" then part(text, ".", 2)
    when "major_minor" then existing(text, 2)
    when "major_minor_patch" then existing(text, 3)
    when "minor_patch" then text.split(".", -1)[1, 2].to_a.join(".")
    when "no_dividers" then text.delete(".\\-_")
    when "csv" then text.split(",", -1)
    when /\Ano_(dots|hyphens|underscores)\z/ then text.delete(DIVIDERS[$1])
    when /\A(dots|hyphens|underscores)_to_(dots|hyphens|underscores|slashes)\z/
      text.gsub(DIVIDERS[$1], DIVIDERS[$2])
    end
  end
end

# One interpolation: a receiver and a chain of calls, read character by character.
class Expression
  STRING_METHODS = {
    "to_s" => 0..0, "to_str" => 0..0, "strip" => 0..0, "lstrip" => 0..0, "rstrip" => 0..0,
    "downcase" => 0..0, "upcase" => 0..0, "capitalize" => 0..0, "swapcase" => 0..0,
    "chop" => 0..0, "chomp" => 0..1, "squeeze" => 0..1, "delete" => 1..1, "tr" => 2..2,
    "sub" => 2..2, "gsub" => 2..2, "split" => 0..2, "slice" => 1..2, "[]" => 1..2,
    "delete_prefix" => 1..1, "delete_suffix" => 1..1, "reverse" => 0..0,
    "center" => 1..2, "ljust" => 1..2, "rjust" => 1..2,
  }.freeze
  ARRAY_METHODS = {
    "first" => 0..1, "second" => 0..0, "third" => 0..0, "fourth" => 0..0, "fifth" => 0..0,
    "last" => 0..1, "join" => 0..1, "slice" => 1..2, "[]" => 1..2, "compact" => 0..0,
    "reverse" => 0..0, "to_a" => 0..0, "drop" => 1..1, "take" => 1..1,
  }.freeze
  ORDINALS = { "second" => 1, "third" => 2, "fourth" => 3, "fifth" => 4 }.freeze

  attr_reader :position

  def initialize(text, position, variables)
    @text = text
    @position = position
    @variables = variables
  end

  # Evaluates from the current position up to the closing brace, which it consumes.
  def evaluate
    value = expression
    skip_blanks
    fail_here("expected }") unless peek == "}"
    @position += 1
    value
  end

  private

  def expression
    value = primary
    loop do
      skip_blanks
      if peek == "."
        @position += 1
        name = identifier
        fail_here("method name expected") if name.empty?
        args = []
        skip_blanks
        args = arguments(")") if peek == "("
        value = call(value, name, args)
      elsif peek == "["
        value = call(value, "[]", arguments("]"))
      else
        return value
      end
    end
  end

  def primary
    skip_blanks
    case peek
    when "'", '"' then string_literal
    when "(" then parenthesised
    else
      name = identifier
      return @variables.fetch(name).dup if @variables.key?(name)
      fail_here(name.empty? ? "value expected" : "unknown name #{name}")
    end
  end

  def parenthesised
    @position += 1
    value = expression
    skip_blanks
    fail_here("expected )") unless peek == ")"
    @position += 1
    value
  end

  def arguments(closing)
    @position += 1
    args = []
    skip_blanks
    if peek == closing
      @position += 1
      return args
    end
    loop do
      args << argument
      skip_blanks
      case peek
      when "," then @position += 1
      when closing
        @position += 1
        return args
      else fail_here("expected , or #{closing}")
      end
    end
  end

  def argument
    skip_blanks
    return regexp_literal if peek == "/"
    return range_or_integer if peek =~ /[-\d]/
    expression
  end

  def range_or_integer
    first = integer
    if @text[@position, 3] == "..."
      @position += 3
      return (first...integer)
    end
    if @text[@position, 2] == ".."
      @position += 2
      return (first..integer)
    end
    first
  end

  def integer
    digits = @text[@position..][/\A-?\d+/]
    fail_here("integer expected") unless digits
    @position += digits.length
    digits.to_i
  end

  def string_literal
    quote = peek
    @position += 1
    value = +""
    loop do
      c = peek
      fail_here("unterminated string") if c.nil?
      @position += 1
      return value if c == quote
      if c == "\\"
        escaped = peek
        fail_here("unterminated string") if escaped.nil?
        @position += 1
        value << (quote == '"' ? double_quoted_escape(escaped) : single_quoted_escape(escaped))
      elsif quote == '"' && c == "#" && "{@$".include?(peek.to_s)
        fail_here("interpolation inside a string argument")
      else
        value << c
      end
    end
  end

  def single_quoted_escape(c)
    "\\'".include?(c) ? c : "\\#{c}"
  end

  def double_quoted_escape(c)
    { "n" => "\n", "t" => "\t", "s" => " ", "0" => "\0" }.fetch(c, c)
  end

  def regexp_literal
    @position += 1
    source = +""
    loop do
      c = peek
      fail_here("unterminated regular expression") if c.nil?
      @position += 1
      break if c == "/"
      if c == "\\"
        fail_here("unterminated regular expression") if peek.nil?
        source << c << peek
        @position += 1
      elsif c == "#" && peek == "{"
        fail_here("interpolation inside a regular expression")
      else
        source << c
      end
    end
    flags = @text[@position..][/\A[imx]*/]
    @position += flags.length
    options = 0
    options |= Regexp::IGNORECASE if flags.include?("i")
    options |= Regexp::MULTILINE if flags.include?("m")
    options |= Regexp::EXTENDED if flags.include?("x")
    Regexp.new(source, options)
  rescue RegexpError => e
    raise CannotEvaluate, "bad regular expression: #{e.message}"
  end

  def call(receiver, name, args)
    case receiver
    when nil
      return "" if name == "to_s" && args.empty?
    when String
      if args.empty? && (result = VersionMethods.call(name, receiver))
        return result
      end
      return send_checked(receiver, name, args, STRING_METHODS)
    when Array
      if ORDINALS.key?(name) && args.empty?
        return receiver[ORDINALS[name]]
      end
      return send_checked(receiver, name, args, ARRAY_METHODS)
    end
    raise CannotEvaluate, "#{name} is not understood on #{receiver.inspect}"
  end

  def send_checked(receiver, name, args, allowed)
    arity = allowed[name]
    unless arity&.cover?(args.length)
      raise CannotEvaluate, "#{name} with #{args.length} arguments is not understood on #{receiver.class.name.downcase}s"
    end
    args.each do |arg|
      next if arg.is_a?(String) || arg.is_a?(Integer) || arg.is_a?(Regexp) || arg.is_a?(Range)
      raise CannotEvaluate, "argument #{arg.inspect} of #{name} is not a literal"
    end
    receiver.public_send(name, *args)
  rescue ArgumentError, TypeError, IndexError, RangeError => e
    raise CannotEvaluate, "#{name} failed: #{e.message}"
  end

  def identifier
    name = @text[@position..][/\A[a-z_][a-zA-Z0-9_]*[?!]?/] || ""
    @position += name.length
    name
  end

  def skip_blanks
    @position += 1 while peek == " " || peek == "\t"
  end

  def peek
    @text[@position]
  end

  def fail_here(message)
    raise CannotEvaluate, "#{message} at #{@text[@position..].inspect}"
  end
end

def fill_interpolations(url, variables)
  out = +""
  position = 0
  while (start = url.index('#{', position))
    out << url[position...start]
    expression = Expression.new(url, start + 2, variables)
    out << expression.evaluate.to_s
    position = expression.position
  end
  out << url[position..]
end

if ARGV.length != 3
  $stderr.puts "usage: convertCaskDownloadURL.rb VERSION URL LANGUAGE"
  exit 2
end

version, url, language = ARGV.map { |arg| arg.dup.force_encoding(Encoding::UTF_8) }
begin
  puts fill_interpolations(url, { "version" => version, "language" => language })
rescue CannotEvaluate => e
  $stderr.puts "convertCaskDownloadURL: cannot evaluate the url #{url}: #{e.message}"
  exit 2
end
