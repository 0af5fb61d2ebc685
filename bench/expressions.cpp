// The expression set: the arithmetic and function expressions of the public
// math-parser benchmark, plus the shapes our targets name. Nomix writes the
// square root Sqr and the natural logarithm Log; muparser sqrt and ln.
#include "expressions.h"

#include <array>

namespace bench {
namespace {

constexpr std::array kExpressions = {
    Expression{"a+1", "a+1"},
    Expression{"a*2", "a*2"},
    Expression{"2*a+1", "2*a+1"},
    Expression{"(2*a+1)*3", "(2*a+1)*3"},
    Expression{"a+b+c", "a+b+c"},
    Expression{"a-b+c-a+b-c", "a-b+c-a+b-c"},
    Expression{"a-(b+c)", "a-(b+c)"},
    Expression{"(a+b)*(a-b)", "(a+b)*(a-b)"},
    Expression{"1-(a/b*0.5)", "1-(a/b*0.5)"},
    Expression{"a*b+c*a-b*c+a*a-b/c+1", "a*b+c*a-b*c+a*a-b/c+1", Marker::TenOperations},
    Expression{"a^2+b^2", "a^2+b^2"},
    Expression{"Sqr(a^2+b^2)", "sqrt(a^2+b^2)"},
    Expression{"1.1*a^2.01", "1.1*a^2.01"},
    Expression{"a^1.1", "a^1.1"},
    Expression{"1.1*a^7+2.2*a^6+3.3*a^5+4.4*a^4+5.5*a^3+6.6*a^2+7.7*a+8.8",
               "1.1*a^7+2.2*a^6+3.3*a^5+4.4*a^4+5.5*a^3+6.6*a^2+7.7*a+8.8"},
    Expression{"((((((1.1*a+2.2)*a+3.3)*a+4.4)*a+5.5)*a+6.6)*a+7.7)*a+8.8",
               "((((((1.1*a+2.2)*a+3.3)*a+4.4)*a+5.5)*a+6.6)*a+7.7)*a+8.8"},
    Expression{"1/(a*Sqr(2*pi))*e^(-0.5*((b-a)/a)^2)", "1/(a*sqrt(2*pi))*e^(-0.5*((b-a)/a)^2)"},
    Expression{"a/((a+b)*(a-b))/b", "a/((a+b)*(a-b))/b"},
    Expression{"Sin(a)+Sin(b)", "sin(a)+sin(b)"},
    Expression{"Sin(2*a)+Cos(pi/b)", "sin(2*a)+cos(pi/b)"},
    Expression{"1-Sin(2*a)+Cos(pi/b)", "1-sin(2*a)+cos(pi/b)"},
    Expression{"Sqr(1-Sin(2*a)+Cos(pi/b)/3)", "sqrt(1-sin(2*a)+cos(pi/b)/3)"},
    Expression{"Sqr(1-Sin(2*a)+Cos(pi/b)/3)*(a+b)-c/2+10", "sqrt(1-sin(2*a)+cos(pi/b)/3)*(a+b)-c/2+10",
               Marker::FortyChars},
    Expression{"(a^2/Sin(2*pi/b))-a/2", "(a^2/sin(2*pi/b))-a/2"},
    Expression{"a+(Cos(b-Sin(2/a*pi))-Sin(a-Cos(2*b/pi)))-b", "a+(cos(b-sin(2/a*pi))-sin(a-cos(2*b/pi)))-b"},
    Expression{"(0.1*a+1)*a+1.1-Sin(a)-Log(a)/a*3/4", "(0.1*a+1)*a+1.1-sin(a)-ln(a)/a*3/4"},
    Expression{"Exp(Log(7*a))", "exp(ln(7*a))"},
    Expression{"10^Log(3+b)", "10^ln(3+b)"},
    Expression{"a-Exp(Log(7+b))", "a-exp(ln(7+b))"},
    Expression{"Cos(2.41)/b", "cos(2.41)/b"},
    Expression{"-(Sin(pi+a)+1)", "-(sin(pi+a)+1)"},
    Expression{"Abs(a-b)*Atan(c)+Tan(a)/Exp(b)", "abs(a-b)*atan(c)+tan(a)/exp(b)"},
    Expression{"(a/((((b+(((e*(((((pi*((((3.45*((pi+a)+pi))+b)+b)*a))+0.68)+e)+a)/a))+a)+b))+b)*a)-pi))",
               "(a/((((b+(((e*(((((pi*((((3.45*((pi+a)+pi))+b)+b)*a))+0.68)+e)+a)/a))+a)+b))+b)*a)-pi))"},
};

} // namespace

std::span<const Expression> expressions() { return kExpressions; }

} // namespace bench
