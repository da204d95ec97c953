#include "CaskRubyReference.h"

#include "foundation/FileHelpers.h"
#include "foundation/StringHelpers.h"
#include "foundation/Task.h"

namespace vantor::testing_support {

namespace {

const char* kReferenceDSL = R"RUBY(
class Version < String
  def piece(separator, index) = Version.new(split(separator, -1)[index] || "")
  def before_comma = piece(",", 0)
  def after_comma = piece(",", 1)
  def before_colon = piece(":", 0)
  def after_colon = piece(":", 1)
  def major = piece(".", 0)
  def minor = piece(".", 1)
  def patch = piece(".", 2)
  def major_minor = Version.new(split(".", -1).first(2).join("."))
  def major_minor_patch = Version.new(split(".", -1).first(3).join("."))
  def no_dots = Version.new(delete("."))
  def dots_to_hyphens = Version.new(tr(".", "-"))
  def dots_to_underscores = Version.new(tr(".", "_"))
  def dots_to_slashes = Version.new(tr(".", "/"))
  def csv = split(",", -1).map { |part| Version.new(part) }
end

# The cask code of that era ran with ActiveSupport's ordinals on arrays.
class Array
  def second = self[1]
  def third = self[2]
end

class CaskDSL
  attr_reader :url_value

  def initialize(preferred)
    @preferred = preferred
  end

  def version(value = nil)
    return @version if value.nil?
    @version = Version.new(value == :latest ? "latest" : value)
  end

  def language(*keys, default: false, &block)
    return @language if keys.empty?
    chosen = keys.include?(@preferred) || (default && !@language_from_match)
    return unless chosen
    @language_from_match ||= keys.include?(@preferred)
    @language = block.call
  end

  def url(value, **) = (@url_value = value)
  def method_missing(*) = nil
  def respond_to_missing?(*) = true
end

def cask(_name, &block)
  dsl = CaskDSL.new(ARGV[1])
  dsl.instance_eval(&block)
  puts dsl.url_value
end

eval(File.read(ARGV[0]), binding, ARGV[0])
)RUBY";

}  // namespace

std::optional<std::string> rubyEvaluatedCaskURL(const std::string& caskText, const std::string& language) {
  auto dir = makeTempDirectory();
  if (!dir) return std::nullopt;
  std::string dsl = *dir + "/dsl.rb";
  std::string cask = *dir + "/cask.rb";
  std::optional<std::string> output;
  int status = -1;
  TaskOptions options;
  options.timeoutSeconds = 30;
  if (writeContentsAtomically(dsl, kReferenceDSL) && writeContentsAtomically(cask, caskText))
    output = runAsTaskWithTerminationStatus({"/usr/bin/ruby", "-W0", dsl, cask, language}, &status, options);
  removeItem(*dir);
  if (!output || status != 0) return std::nullopt;
  return trimmedOfWhitespaceAndNewlines(*output);
}

}  // namespace vantor::testing_support
